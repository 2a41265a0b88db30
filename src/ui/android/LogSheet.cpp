#include "ui/android/LogSheet.h"

#include "android/VMModel.h"
#include "ui/style/Appearance.h"
#include "ui/style/ChineseFont.h"
#include "ui/style/Controls.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

LogSheet::LogSheet(VMModel &model, QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_model(&model)
    , m_text(new QPlainTextEdit)
{
    const QString title = QStringLiteral("运行日志");
    setWindowTitle(title);
    resize(720, 480);
    auto *heading = new QLabel(title);
    heading->setFont(Appearance::font(15, QFont::DemiBold));
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFont(ChineseFont::monospaced());
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto *refresh = Controls::pill(QStringLiteral("刷新"));
    auto *close = Controls::pill(QStringLiteral("关闭"), {}, Controls::PillStyle::CompactProminent);
    connect(refresh, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->refreshLog();
        }
    });
    connect(close, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(&model, &VMModel::logTextChanged, this, &LogSheet::showLog);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 20, 22, 16);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addWidget(m_text, 1);
    column->addLayout(buttons);
    showLog();
}

void LogSheet::showLog()
{
    if (!m_model) {
        return;
    }
    m_text->setPlainText(m_model->logText());
    // The newest lines are at the end, and they are what the user came for.
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}
