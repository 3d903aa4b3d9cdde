#pragma once

#include "platform/settingsstore.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The answers last given to a template's questions, kept in the settings
// store per template (by its name, whatever its letter case).
QMap<QString, QString> rememberedAnswers(const platform::SettingsStore &settings, const QString &templateName);

// Keeps these answers for the template, beside those it had to other
// questions. On failure returns false and, when asked, the message to show.
bool rememberAnswers(platform::SettingsStore &settings, const QString &templateName,
                     const QMap<QString, QString> &answers, QString *error = nullptr);

// A renamed template keeps its answers under its new name.
bool moveRememberedAnswers(platform::SettingsStore &settings, const QString &oldName, const QString &newName,
                           QString *error = nullptr);

// Asks the questions in one dialog, each box prefilled with its answer in
// prefill: the answers by question, or nothing when the user cancelled.
// Without a parent the dialog stands alone (the command line's).
std::optional<QMap<QString, QString>> askQuestions(QWidget *parent, const QString &templateName,
                                                   const QStringList &questions,
                                                   const QMap<QString, QString> &prefill);
