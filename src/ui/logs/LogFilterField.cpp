#include "ui/logs/LogFilterField.h"

#include "services/GlobalLogModel.h"
#include "ui/style/Symbols.h"

LogFilterField::LogFilterField(GlobalLogModel &model, const QString &prompt, QWidget *parent)
    : QLineEdit(parent)
{
    setPlaceholderText(prompt);
    setClearButtonEnabled(false);
    addAction(Symbols::icon(QStringLiteral("magnifyingglass")), QLineEdit::LeadingPosition);
    setText(model.query());
    connect(this, &QLineEdit::textChanged, &model, &GlobalLogModel::setQuery);
    connect(&model, &GlobalLogModel::queryChanged, this, [this, &model] {
        if (text() != model.query()) {
            setText(model.query());
        }
    });
}
