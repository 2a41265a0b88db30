#include "cli/Arguments.h"

#include "cli/Terminal.h"

Arguments Arguments::parse(const QStringList &words, const QStringList &knownSwitches,
                           const QStringList &knownValues)
{
    Arguments parsed;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words[i];
        if (word == QLatin1String("--")) {
            parsed.rest = words.mid(i + 1);
            break;
        }
        if (!word.startsWith(u'-') || word == QLatin1String("-")) {
            parsed.positional.append(word);
            continue;
        }
        QString name = word;
        std::optional<QString> inlineValue;
        if (const qsizetype equals = word.indexOf(u'='); equals > 0) {
            name = word.left(equals);
            inlineValue = word.mid(equals + 1);
        }
        if (knownSwitches.contains(name) && !inlineValue) {
            parsed.switches.insert(name);
        } else if (knownValues.contains(name)) {
            if (inlineValue) {
                parsed.values.insert(name, *inlineValue);
            } else if (i + 1 < words.size()) {
                parsed.values.insert(name, words[++i]);
            } else {
                throw UsageError{QStringLiteral("选项 ") + name + QStringLiteral(" 需要一个值。")};
            }
        } else {
            throw UsageError{QStringLiteral("未知选项：") + word};
        }
    }
    return parsed;
}

void Arguments::expectPositional(qsizetype count, const QString &usage) const
{
    if (positional.size() < count) {
        throw UsageError{QStringLiteral("缺少参数。用法：") + usage};
    }
    if (positional.size() > count) {
        throw UsageError{QStringLiteral("多余的参数：") + positional.mid(count).join(u' ') +
                         QStringLiteral("。用法：") + usage};
    }
}
