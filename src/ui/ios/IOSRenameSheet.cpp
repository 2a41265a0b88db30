#include "ui/ios/IOSRenameSheet.h"

#include "ios/IOSModel.h"
#include "services/Tasks.h"
#include "ui/style/Appearance.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

IOSRenameSheet::IOSRenameSheet(IOSModel &model, IOSDevice device, QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_model(&model)
    , m_device(std::move(device))
    , m_field(new QLineEdit(m_device.name))
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
    auto *save = new PillActionButton(QStringLiteral("保存"));
    save->setCompact(true);
    save->setProminent(true);
    save->setDefault(true);
    connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(save, &QAbstractButton::clicked, this, &IOSRenameSheet::onSaveClicked);
    connect(m_field, &QLineEdit::returnPressed, this, &IOSRenameSheet::onSaveClicked);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(save);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 20, 22, 16);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addWidget(m_field);
    column->addLayout(buttons);
}

void IOSRenameSheet::onSaveClicked()
{
    if (m_model) {
        startTask(m_model->rename(m_device, m_field->text()), QStringLiteral("iPhone"));
    }
    accept();
}
