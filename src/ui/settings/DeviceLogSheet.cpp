#include "ui/settings/DeviceLogSheet.h"

#include "ui/logs/LogTextView.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

DeviceLogSheet::DeviceLogSheet(const QString &deviceName, const QString &logText, QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_heading(Controls::label(deviceName + QStringLiteral(" · 运行日志")))
    , m_text(new LogTextView(11))
{
    setWindowTitle(m_heading->text());
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);
    resize(sheetWidth, 560);
    m_heading->setFont(Appearance::font(13, QFont::DemiBold));
    auto *close = Controls::pill(QStringLiteral("关闭"));
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);

    auto *header = new QHBoxLayout;
    header->addWidget(m_heading, 1);
    header->addWidget(close);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(14);
    column->addLayout(header);
    column->addWidget(m_text, 1);
    m_text->setText(logText);
}
