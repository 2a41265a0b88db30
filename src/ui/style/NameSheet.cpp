#include "ui/style/NameSheet.h"

#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// No model stores a blank name: saved, the window would show a name the device does not have.
bool savable(const QString &name)
{
    return !name.trimmed().isEmpty();
}

} // namespace

NameSheet::NameSheet(const QString &name, const QString &note, std::function<void(const QString &)> save,
                     QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_save(std::move(save))
    , m_field(new QLineEdit(name))
{
    const QString title = QStringLiteral("修改设备名称");
    setWindowTitle(title);
    setMinimumWidth(380);
    auto *heading = new QLabel(title);
    heading->setFont(Appearance::font(15, QFont::DemiBold));
    m_field->setPlaceholderText(QStringLiteral("设备名称"));
    m_field->setAccessibleName(QStringLiteral("设备名称"));
    m_field->selectAll();

    auto *cancel = new PillActionButton(QStringLiteral("取消"));
    cancel->setCompact(true);
    auto *saveButton = new PillActionButton(QStringLiteral("保存"));
    saveButton->setCompact(true);
    saveButton->setProminent(true);
    saveButton->setDefault(true);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(saveButton, &QAbstractButton::clicked, this, &NameSheet::onSaveClicked);
    connect(m_field, &QLineEdit::returnPressed, this, &NameSheet::onSaveClicked);
    connect(m_field, &QLineEdit::textChanged, saveButton,
            [saveButton](const QString &text) { saveButton->setEnabled(savable(text)); });
    saveButton->setEnabled(savable(name));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(saveButton);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 20, 22, 16);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addWidget(m_field);
    if (!note.isEmpty()) {
        auto *noteLabel = Controls::paragraph(note);
        noteLabel->setForegroundRole(QPalette::PlaceholderText);
        column->addWidget(noteLabel);
    }
    column->addLayout(buttons);
}

void NameSheet::onSaveClicked()
{
    if (!savable(m_field->text())) {
        return;
    }
    if (m_save) {
        m_save(m_field->text());
    }
    accept();
}
