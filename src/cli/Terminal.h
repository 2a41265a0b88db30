#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/** What the program prints: UTF-8 lines on standard output and standard error, and aligned tables. */
namespace Terminal {

void out(const QString &text);
void err(const QString &text);
/** Columns padded to their widest cell, counting a Chinese character as two columns as terminals do. */
QString table(const QStringList &header, const QList<QStringList> &rows);
/** How many terminal columns `text` takes. */
int displayWidth(const QString &text);

} // namespace Terminal

/** A command line the program cannot make sense of: its message goes to stderr, and the status is 2. */
struct UsageError
{
    QString message;
};

/** A refusal or failure of an operation: its message goes to stderr, and the status is 1. */
struct CommandFailure
{
    QString message;
};
