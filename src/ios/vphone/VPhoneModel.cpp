#include "ios/vphone/VPhoneModel.h"

#include "preferences/AppPreferences.h"
#include "preferences/PreferenceNotifier.h"
#include "ios/vphone/VPhoneTool.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "services/Command.h"
#include "platform/Error.h"
#include "services/PropertyField.h"
#include "services/Tasks.h"

#include <QPointer>
#include <QSettings>

namespace {

using P = AppPreferences;

constexpr double sipCheckTimeoutSeconds = 15;

} // namespace

VPhoneModel::VPhoneModel(QString csrutil, QObject *parent)
    : QObject(parent)
    , m_store(P::openStore())
    , m_csrutil(csrutil.isEmpty() ? Tools::csrutil() : std::move(csrutil))
    , m_sipStatus(QStringLiteral("尚未检测"))
    , m_toolFound(VPhoneTool::found())
    , m_permanentlyBlocked(P::read(*m_store, P::vphonePermanentlyBlocked))
{
    // The lock is per user account: another page (or window) agreeing locks this one as well.
    connect(PreferenceNotifier::instance(), &PreferenceNotifier::changed, this, [this](const QString &key) {
        if (key == P::vphonePermanentlyBlocked.name) {
            m_store->sync();
            setPermanentlyBlocked(P::read(*m_store, P::vphonePermanentlyBlocked));
        }
    });
}

VPhoneModel::~VPhoneModel() = default;

void VPhoneModel::lookForTool()
{
    if (assignChanged(m_toolFound, VPhoneTool::found())) {
        Q_EMIT toolFoundChanged();
    }
}

void VPhoneModel::checkSip()
{
    if (!canCheckSip()) {
        return;
    }
    startTask(runSipCheck(), QStringLiteral("应用"));
}

QCoro::Task<> VPhoneModel::runSipCheck()
{
    QPointer self(this);
    const QString executable = m_csrutil;
    const QStringList arguments{QStringLiteral("status")};
    setChecking(true);
    QString status;
    try {
        // Shown as the tool printed it, line break and all.
        status = co_await Command::run(executable, arguments, std::nullopt, sipCheckTimeoutSeconds,
                                       Command::successOnly());
    } catch (...) {
        status = QStringLiteral("检测失败：") + describe(std::current_exception());
    }
    if (!self) {
        co_return;
    }
    if (assignChanged(m_sipStatus, status)) {
        Q_EMIT sipStatusChanged();
    }
    setChecking(false);
}

void VPhoneModel::openFolder()
{
    if (!m_permanentlyBlocked) {
        VPhoneTool::openFolder();
    }
}

void VPhoneModel::openTerminal()
{
    Host::current().openApplication(Tools::terminal());
}

void VPhoneModel::agreeToDisclaimer()
{
    // Stored behind the window, a moment later; were it lost in a crash just now, the page would only
    // ask for the agreement again.
    P::write(*m_store, P::vphonePermanentlyBlocked, true);
    setPermanentlyBlocked(true);
    Host::current().openUrl(VPhoneTool::projectPage());
}

void VPhoneModel::setChecking(bool checking)
{
    if (assignChanged(m_checking, checking)) {
        Q_EMIT checkingChanged();
    }
}

void VPhoneModel::setPermanentlyBlocked(bool blocked)
{
    if (assignChanged(m_permanentlyBlocked, blocked)) {
        Q_EMIT permanentlyBlockedChanged();
    }
}
