#include "ui/settings/GlobalLogSheet.h"

#include "ui/logs/GlobalLogView.h"
#include "ui/logs/LogFilterField.h"
#include "ui/style/Controls.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

GlobalLogSheet::GlobalLogSheet(QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_view(new GlobalLogView)
{
    setWindowTitle(QStringLiteral("全局日志"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(minimumSheetSize);
    resize(minimumSheetSize);
    // A sheet has no title bar of its own on the Mac: it needs a way out besides Escape.
    auto *close = Controls::pill(QStringLiteral("关闭"));
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(24, 0, 24, 16);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_view, 1);
    column->addLayout(buttons);
    // Typing goes straight into the filter.
    m_view->filterField()->setFocus();
}
