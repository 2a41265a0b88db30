#pragma once

#include <QString>

#include <exception>

/** Base of every failure the models throw across co_await and turn into a user-facing `error`. */
class Error : public std::exception
{
public:
    explicit Error(QString description);
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};

/** A failure the system words itself, shown to the user as is. */
class VMFailure : public Error
{
public:
    explicit VMFailure(QString message);
    const QString &message() const noexcept { return description(); }
};

/** A failure reported by the platform, carrying the platform's own description. */
class SystemError : public Error
{
public:
    explicit SystemError(QString description);
    /** From errno, worded by strerror. */
    static SystemError fromErrno(int code);
};

/** The description of any exception, for the places that must show or log whatever went wrong. */
QString describe(const std::exception_ptr &error);
