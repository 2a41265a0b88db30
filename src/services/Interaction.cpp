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

Interaction *Interaction::current()
{
    return s_current;
}

void Interaction::install(Interaction *interaction)
{
    s_current = interaction ? interaction : &s_unanswered;
}
