#include "ui/shell/Tabs.h"

#include <algorithm>

namespace Tabs {
namespace {

const QString betaTab = QStringLiteral("vphone-beta");

const QList<Tab> &allTabs()
{
    static const QList<Tab> table{
        {QStringLiteral("android"), QStringLiteral("Android")},
        {QStringLiteral("ios"), QStringLiteral("iPhone")},
        {QStringLiteral("windows"), QStringLiteral("Windows")},
        {QStringLiteral("linux"), QStringLiteral("Linux")},
        {betaTab, QStringLiteral("iPhone Beta")},
        {QStringLiteral("settings"), QStringLiteral("设置")},
    };
    return table;
}

} // namespace

QList<Tab> tabs(bool showsBeta)
{
    QList<Tab> current;
    for (const Tab &tab : allTabs()) {
        if (showsBeta || tab.identifier != betaTab) {
            current.append(tab);
        }
    }
    return current;
}

QString tabName(const QString &identifier)
{
    for (const Tab &tab : allTabs()) {
        if (tab.identifier == identifier) {
            return tab.title;
        }
    }
    return identifier;
}

int tabIndex(const QString &identifier, bool showsBeta)
{
    const QList<Tab> current = tabs(showsBeta);
    for (qsizetype i = 0; i < current.size(); ++i) {
        if (current[i].identifier == identifier) {
            return int(i);
        }
    }
    return 0;
}

double pageOffset(int pageIndex, int selectedIndex, double pageAreaWidth)
{
    return (pageIndex - selectedIndex) * std::min(0.085 * pageAreaWidth, 92.0);
}

} // namespace Tabs
