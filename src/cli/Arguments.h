#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

/**
 * One sub-command's arguments: positional words, switches and options with a value, and everything
 * after "--" untouched. Anything else starting with "-" is a usage error.
 */
struct Arguments
{
    QStringList positional;
    QSet<QString> switches;
    QMap<QString, QString> values;
    QStringList rest;

    /** Throws UsageError for an unknown option or a value-taking option without its value. */
    static Arguments parse(const QStringList &words, const QStringList &knownSwitches,
                           const QStringList &knownValues = {});

    bool has(const QString &name) const { return switches.contains(name); }
    /** Throws UsageError unless exactly `count` positional words were given. */
    void expectPositional(qsizetype count, const QString &usage) const;
};
