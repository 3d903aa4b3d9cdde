#include "compose/compose.h"

#include "compose/attachmentcheck.h"
#include "compose/attachmentpaths.h"
#include "compose/htmltext.h"
#include "platform/textfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace compose {
namespace {

LaunchOutcome failure(const QString &message)
{
    LaunchOutcome outcome;
    outcome.message = message;
    return outcome;
}

// What failed, followed by the mail client's reason when it gives one.
QString stepFailed(const QString &failed, const QString &reason)
{
    QString text = failed;
    if (!reason.isEmpty())
        text += u' ' + reason;
    return text;
}

} // namespace

LaunchOutcome ComposeEmail(store::TemplateEditor &editor, substitute::PairBoxes &pairs,
                           const MailClientFactory &newApplication, const substitute::PlaceholderValues &values,
                           const QString &dataFolder)
{
    // The attachments box is split at every ";" outside the placeholders,
    // whose values are put in as they are; each part without the spaces at
    // its ends, as a list is typed ("a.pdf; b.txt"), and empty parts left out.
    auto attachmentParts = [&values](const QString &box) {
        QStringList parts;
        for (const QString &part : substitute::FillAttachmentParts(box, values)) {
            if (!part.trimmed().isEmpty())
                parts << part.trimmed();
        }
        return parts;
    };
    auto fill = [&values](const QString &text) { return substitute::FillPlaceholders(text, values); };
    auto fillText = [&values, &pairs](const QString &text) {
        return substitute::FillTemplateText(text, pairs, values);
    };

    // Every attachment is checked before the mail client is even started, so
    // that a wrong path never leaves a half-made message behind in a client
    // that shows its items as soon as they are made. The mail client checks
    // each one again when it is added, as the box may change meanwhile.
    QString error;
    for (const QString &part : attachmentParts(editor.attachments())) {
        const std::optional<QString> path = resolveInDataFolder(part, dataFolder, &error);
        if (!path || !checkAttachment(*path, &error))
            return failure(error);
    }

    // The application object and the item live for this launch only; the
    // item is let go of first, the application after it.
    std::unique_ptr<MailClient> application = newApplication ? newApplication(&error) : nullptr;
    if (!application)
        return failure(error.isEmpty()
                           ? QCoreApplication::translate("compose::Compose", "The mail client could not be started.")
                           : error);
    std::unique_ptr<MailItem> item = application->createItem(0);
    if (!item)
        return failure(stepFailed(
            QCoreApplication::translate("compose::Compose", "The mail client could not create a new message."),
            application->errorString()));

    auto put = [&](TextProperty property, const QString &value) { return item->put(property, value); };
    auto putFailed = [&](const QString &failed) { return failure(stepFailed(failed, item->errorString())); };

    if (!put(TextProperty::To, fill(editor.to())))
        return putFailed(
            QCoreApplication::translate("compose::Compose", "The mail client could not set the To addresses."));
    if (!put(TextProperty::CC, fill(editor.cc())))
        return putFailed(
            QCoreApplication::translate("compose::Compose", "The mail client could not set the CC addresses."));
    if (!put(TextProperty::BCC, fill(editor.bcc())))
        return putFailed(
            QCoreApplication::translate("compose::Compose", "The mail client could not set the BCC addresses."));
    if (!put(TextProperty::Subject, fillText(editor.subject())))
        return putFailed(QCoreApplication::translate("compose::Compose", "The mail client could not set the subject."));
    if (!item->putBodyFormat(BodyFormat::RichText))
        return putFailed(
            QCoreApplication::translate("compose::Compose", "The mail client could not set the body format."));

    if (editor.plainTextSelected()) {
        if (!item->putBodyFormat(BodyFormat::Plain))
            return putFailed(
                QCoreApplication::translate("compose::Compose", "The mail client could not set the body format."));
        if (!put(TextProperty::Body, fillText(editor.body())))
            return putFailed(
                QCoreApplication::translate("compose::Compose", "The mail client could not set the body."));
    } else {
        const QString location = editor.htmlLocation();
        if (location.isEmpty())
            return failure(QCoreApplication::translate("compose::Compose",
                                                       "No HTML file is named in the Saved HTML Email Location box."));
        const std::optional<QString> file = resolveInDataFolder(location, dataFolder, &error);
        QByteArray bytes;
        if (!file || !platform::readWholeFile(*file, &bytes, &error))
            return failure(error);
        // The pictures it names by relative paths are found wherever the
        // HTML's text goes.
        // What the placeholders put into the HTML is text, never markup.
        const QString html = withAbsoluteResources(
            substitute::FillTemplateText(decodeHtml(bytes), pairs, values, substitute::TextForm::Html),
            QFileInfo(*file).absolutePath());
        bytes = QByteArray(); // the text is all that is needed from here on
        if (!item->putBodyFormat(BodyFormat::Html))
            return putFailed(
                QCoreApplication::translate("compose::Compose", "The mail client could not set the body format."));
        if (!put(TextProperty::HTMLBody, html))
            return putFailed(
                QCoreApplication::translate("compose::Compose", "The mail client could not set the HTML body."));
    }

    for (const QString &part : attachmentParts(editor.attachments())) {
        editor.yield();
        const std::optional<QString> resolved = resolveInDataFolder(part, dataFolder, &error);
        if (!resolved)
            return failure(error);
        const QString &path = *resolved;
        if (!item->addAttachment(path))
            return failure(stepFailed(
                QCoreApplication::translate("compose::Compose", "The mail client could not attach \"%1\".")
                    .arg(path),
                item->errorString()));
    }

    if (!item->display()) {
        if (item->cancelled())
            return LaunchOutcome();
        return failure(stepFailed(
            QCoreApplication::translate("compose::Compose", "The mail client could not show the message."),
            item->errorString()));
    }

    LaunchOutcome outcome;
    outcome.displayed = true;
    outcome.message = item->notice();
    return outcome;
}

QStringList TemplateQuestions(const store::TemplateEditor &editor, const QString &dataFolder)
{
    QStringList questions;
    for (const QString &text : {editor.to(), editor.cc(), editor.bcc(), editor.subject()})
        substitute::CollectQuestions(text, questions);
    if (editor.plainTextSelected()) {
        substitute::CollectQuestions(editor.body(), questions);
    } else {
        QByteArray bytes;
        const std::optional<QString> file = resolveInDataFolder(editor.htmlLocation(), dataFolder, nullptr);
        if (file && !file->isEmpty() && platform::readWholeFile(*file, &bytes, nullptr))
            substitute::CollectQuestions(decodeHtml(bytes), questions);
    }
    substitute::CollectQuestions(editor.attachments(), questions);
    return questions;
}

} // namespace compose
