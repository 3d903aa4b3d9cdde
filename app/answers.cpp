#include "app/answers.h"

#include "store/names.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

const QString kSection = QStringLiteral("answers");

// The settings key of a template: its name as names are compared, with
// everything but letters and digits percent-encoded, so that neither a "/"
// nor the registry's rules get in the way.
QString keyOf(const QString &templateName)
{
    return QStringLiteral("template-") + QString::fromLatin1(QUrl::toPercentEncoding(store::NameKey(templateName)));
}

} // namespace

QMap<QString, QString> rememberedAnswers(const platform::SettingsStore &settings, const QString &templateName)
{
    const QByteArray stored = settings.get(kSection, keyOf(templateName), QString()).toUtf8();
    QMap<QString, QString> answers;
    const QJsonObject object = QJsonDocument::fromJson(stored).object();
    for (auto it = object.begin(); it != object.end(); ++it)
        answers.insert(it.key(), it.value().toString());
    return answers;
}

static bool storeAnswers(platform::SettingsStore &settings, const QString &templateName,
                  const QMap<QString, QString> &answers, QString *error)
{
    QJsonObject object;
    for (auto it = answers.begin(); it != answers.end(); ++it)
        object.insert(it.key(), it.value());
    const QString value =
        answers.isEmpty() ? QString() : QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return settings.save(kSection, keyOf(templateName), value, error);
}

bool rememberAnswers(platform::SettingsStore &settings, const QString &templateName,
                     const QMap<QString, QString> &answers, QString *error)
{
    QMap<QString, QString> all = rememberedAnswers(settings, templateName);
    for (auto it = answers.begin(); it != answers.end(); ++it)
        all.insert(it.key(), it.value());
    return storeAnswers(settings, templateName, all, error);
}

bool moveRememberedAnswers(platform::SettingsStore &settings, const QString &oldName, const QString &newName,
                           QString *error)
{
    if (keyOf(oldName) == keyOf(newName))
        return true; // a new letter case only: the same entry
    const QMap<QString, QString> answers = rememberedAnswers(settings, oldName);
    if (answers.isEmpty())
        return true;
    return storeAnswers(settings, newName, answers, error) && storeAnswers(settings, oldName, {}, error);
}
