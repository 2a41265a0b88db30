#include "services/Command.h"

#include "platform/ChildLifetime.h"
#include "platform/Error.h"
#include "platform/Tools.h"
#include "services/AppLog.h"
#include "services/ProcessWait.h"
#include "services/TextTail.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>
#include <QTimer>
#include <QtConcurrent>

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <unistd.h>

namespace Command {
namespace {

const auto category = QStringLiteral("命令");
constexpr qsizetype failureTailLength = 3000;
constexpr qsizetype logTailLength = 1500;
constexpr int killDelayMs = 5000;
constexpr qint64 checksumChunkBytes = 1'048'576;

bool isBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

QString failureMessage(const QString &output, const QString &executable)
{
    // A message of nothing but line breaks would show the user an empty error.
    if (isBlank(output)) {
        return QStringLiteral("命令执行失败或超时：") + QFileInfo(QDir::cleanPath(executable)).fileName();
    }
    return TextTail::lastCharacters(output, failureTailLength);
}

// Names the program and, where the system packages it, what to install: "execvp: No such file or
// directory" alone does not tell the user which of several tools is missing.
QString launchFailure(const QString &executable, const QString &platformReason)
{
    QString reason = platformReason;
    if (!executable.startsWith(u'/')) {
        reason = QString::fromLocal8Bit(std::strerror(ENOENT));
    } else if (::access(QFile::encodeName(executable).constData(), X_OK) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
    }
    const QString message = QStringLiteral("无法启动 %1：%2。").arg(executable, reason);
    const QString advice = Tools::installAdvice(executable);
    return advice.isEmpty() ? message : message + advice;
}

QString decodeOutput(const QByteArray &bytes)
{
    // Stateless so a sequence cut off at the end becomes U+FFFD instead of vanishing; a leading
    // byte-order mark is output like any other.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(bytes);
}

int timerInterval(double seconds)
{
    if (!(seconds > 0)) {
        return 0;
    }
    // QTimer counts in int milliseconds; leave room for the kill delay on top.
    constexpr int longest = INT_MAX - killDelayMs;
    const double milliseconds = std::ceil(seconds * 1000);
    return milliseconds >= longest ? longest : static_cast<int>(milliseconds);
}

struct Digest
{
    QString hex;
    std::optional<QString> error;
};

QString cryptoError()
{
    char text[256] = {};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return QString::fromLatin1(text);
}

// Runs on a worker thread; reports failures as values because QFuture only carries QExceptions.
Digest sha1Of(const QString &path)
{
    QFile file(path);
    // Unbuffered: chunks go straight from the kernel into our buffer, without Qt's extra copy.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        return {{}, file.errorString()};
    }
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) != 1) {
        return {{}, cryptoError()};
    }
    QByteArray chunk(checksumChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(chunk.data(), chunk.size());
        if (read < 0) {
            return {{}, file.errorString()};
        }
        if (read == 0) {
            break;
        }
        if (EVP_DigestUpdate(context.get(), chunk.constData(), static_cast<size_t>(read)) != 1) {
            return {{}, cryptoError()};
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return {{}, cryptoError()};
    }
    return {QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), length).toHex()),
            std::nullopt};
}

} // namespace

QCoro::Task<QString> run(QString executable, QStringList arguments,
                         std::optional<QMap<QString, QString>> environment, double timeoutSeconds,
                         QSet<int> acceptedExitCodes)
{
    const QString display = AppLog::command(executable, arguments);
    AppLog::info(category, QStringLiteral("开始：") + display);

    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    if (environment) {
        QProcessEnvironment complete;
        for (auto it = environment->cbegin(); it != environment->cend(); ++it) {
            complete.insert(it.key(), it.value());
        }
        process.setProcessEnvironment(complete);
    }

    // Precise: a coarse timer may be off by 5 %, half a minute on a ten-minute copy.
    QTimer terminate;
    QTimer kill;
    for (QTimer *timer : {&terminate, &kill}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    terminate.setInterval(timerInterval(timeoutSeconds));
    kill.setInterval(terminate.interval() + killDelayMs);
    QObject::connect(&terminate, &QTimer::timeout, &process, &QProcess::terminate);
    QObject::connect(&kill, &QTimer::timeout, &process, &QProcess::kill);

    QString output;
    std::exception_ptr failure;
    try {
        // QProcess would search PATH for a bare name; a relative path names no program here.
        if (!executable.startsWith(u'/')) {
            throw SystemError(launchFailure(executable, {}));
        }
        // A copy or an unpacking left running by a killed application would go on writing into
        // folders nobody will finish or clean up.
        ChildLifetime::attach(process);
        process.start(QIODevice::ReadOnly);
        terminate.start();
        kill.start();
        co_await ProcessStateWait::ended(process);
        terminate.stop();
        kill.stop();

        if (process.error() == QProcess::FailedToStart) {
            throw SystemError(launchFailure(executable, process.errorString()));
        }
        output = decodeOutput(process.readAll());
        // A program ended by a signal has no exit status to accept.
        const bool accepted =
            process.exitStatus() == QProcess::NormalExit && acceptedExitCodes.contains(process.exitCode());
        if (!accepted) {
            throw VMFailure(failureMessage(output, executable));
        }
    } catch (...) {
        failure = std::current_exception();
    }

    if (failure) {
        AppLog::error(category, QStringLiteral("失败：") + display + u'\n' + describe(failure));
        std::rethrow_exception(failure);
    }
    const QString trimmed = output.trimmed();
    QString completed = QStringLiteral("完成：") + display;
    if (!trimmed.isEmpty()) {
        completed += u'\n' + TextTail::lastCharacters(trimmed, logTailLength);
    }
    AppLog::info(category, completed);
    co_return output;
}

QCoro::Task<QString> checksum(QString file)
{
    const Digest digest = co_await QtConcurrent::run(sha1Of, file);
    if (digest.error) {
        throw SystemError(*digest.error);
    }
    co_return digest.hex;
}

} // namespace Command
