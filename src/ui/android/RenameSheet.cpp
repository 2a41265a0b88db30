#include "ui/android/RenameSheet.h"

#include "android/VMModel.h"
#include "services/AppLog.h"
#include "ui/style/Appearance.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

RenameSheet::RenameSheet(VMModel &model, QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_model(&model)
    , m_field(new QLineEdit(model.name()))
{
    const QString title = QStringLiteral("修改设备名称");
    setWindowTitle(title);
    setMinimumWidth(380);
    auto *heading = new QLabel(title);
    heading->setFont(Appearance::font(15, QFont::DemiBold));
    m_field->setPlaceholderText(QStringLiteral("设备名称"));
    m_field->selectAll();
    auto *note = new QLabel(QStringLiteral("名称只用于区分这台安卓设备，不会修改设备内的系统名称。"));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);

    auto *cancel = new PillActionButton(QStringLiteral("取消"));
    cancel->setCompact(true);
    auto *save = new PillActionButton(QStringLiteral("保存"));
    save->setCompact(true);
    save->setProminent(true);
    save->setDefault(true);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(save, &QAbstractButton::clicked, this, &RenameSheet::onSaveClicked);
    connect(m_field, &QLineEdit::returnPressed, this, &RenameSheet::onSaveClicked);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 20, 22, 16);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addWidget(m_field);
    column->addWidget(note);
    column->addLayout(buttons);
}

void RenameSheet::onSaveClicked()
{
    if (m_model) {
        m_model->setName(m_field->text());
        m_model->saveName();
        AppLog::info(QStringLiteral("Android"), QStringLiteral("设备已重命名为 ") + m_model->name());
    }
    accept();
}
