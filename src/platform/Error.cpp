#include "platform/Error.h"

#include <cstring>

Error::Error(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{
}

VMFailure::VMFailure(QString message)
    : Error(std::move(message))
{
}

SystemError::SystemError(QString description)
    : Error(std::move(description))
{
}

SystemError SystemError::fromErrno(int code)
{
    return SystemError(QString::fromLocal8Bit(std::strerror(code)));
}

QString describe(const std::exception_ptr &error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Error &e) {
        return e.description();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}
