#include "services/Interaction.h"

namespace {

class Unanswered : public Interaction
{
public:
    QCoro::Task<QString> chooseFile(QString, QStringList) override { co_return QString(); }
    QCoro::Task<QString> chooseSaveLocation(QString, QString, QStringList) override { co_return QString(); }
    QCoro::Task<int> ask(QString, QString, QStringList) override { co_return -1; }
};

Unanswered s_unanswered;
Interaction *s_current = &s_unanswered;

} // namespace

QCoro::Task<QString> Interaction::choosePackage(QString title, QStringList nameFilters)
{
    co_return co_await chooseFile(std::move(title), std::move(nameFilters));
}

Interaction *Interaction::current()
{
    return s_current;
}

void Interaction::install(Interaction *interaction)
{
    s_current = interaction ? interaction : &s_unanswered;
}
