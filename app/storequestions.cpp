#include "app/storequestions.h"

#include "store/names.h"

#include <QCoreApplication>
#include <QStringList>

namespace storequestions {
namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("storequestions", text);
}

QString describeAll(const QList<store::StoredLine> &lines)
{
    QStringList described;
    for (const store::StoredLine &line : lines)
        described << QStringLiteral("  ") + describe(line);
    return described.join(QLatin1Char('\n'));
}

} // namespace

QString describe(const store::StoredLine &line)
{
    //: A stored template as questions name it: %1 is its name.
    if (line.subject.isEmpty())
        return tr("\"%1\" (no subject)").arg(line.name);
    //: A stored template as questions name it: %1 is its name, %2 its subject.
    return tr("\"%1\" (Subject: \"%2\")").arg(line.name, line.subject);
}

QString save(const store::SavePlan &plan, const QString &name)
{
    QString text;
    if (plan.changedElsewhere)
        text = tr("The template \"%1\" was changed by someone else after you brought it into the editor.")
                   .arg(store::TemplateName(name))
               + QStringLiteral("\n\n");
    if (plan.replaced.size() == 1) {
        text += tr("A template named \"%1\" is saved already. Replace it with the template in the editor?")
                    .arg(plan.replaced.first().name);
    } else {
        //: %1 is the number of templates (two or more), %2 their name, %3 one line for each of them.
        text += tr("%1 templates named \"%2\" are saved already:\n%3\nReplace all of them with the template in the "
                   "editor?")
                    .arg(plan.replaced.size())
                    .arg(store::TemplateName(name), describeAll(plan.replaced));
    }
    return text + QStringLiteral("\n\n") + tr("What is replaced is kept: Undo Delete in the list's menu brings it back.");
}

QString remove(const store::DeletePlan &plan)
{
    //: %1 names the template and its subject.
    QString text = tr("Delete the template %1?").arg(describe(*plan.line));
    if (!plan.sharing.isEmpty())
        text += QStringLiteral("\n\n")
                + tr("Its body file is also the body of these templates, which keep it:\n%1").arg(describeAll(plan.sharing));
    return text + QStringLiteral("\n\n") + tr("Undo Delete in the list's menu brings it back.");
}

QString undo(const store::UndoPlan &plan)
{
    const QString name = plan.lines.first().name;
    QString text;
    if (plan.bodyGone)
        text = tr("The body kept with \"%1\" is gone (removed by someone or something else); it comes back with an "
                  "empty body.")
                   .arg(name)
               + QStringLiteral("\n\n");
    if (!plan.nameTaken)
        return text + tr("Bring it back?");
    if (plan.version->kind == QLatin1String("replace"))
        return text + tr("A template named \"%1\" is saved now. Bring back the one that was replaced as \"%2\"?")
                          .arg(name, plan.freeName);
    return text + tr("A template named \"%1\" is saved now. Bring back the one that was deleted as \"%2\"?")
                      .arg(name, plan.freeName);
}

} // namespace storequestions
