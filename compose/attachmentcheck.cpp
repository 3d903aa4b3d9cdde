#include "compose/attachmentcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace compose {

bool checkAttachment(const QString &path, QString *errorText)
{
    auto fail = [&](const QString &why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    if (path.isEmpty())
        return fail(QCoreApplication::translate("compose::AttachmentCheck", "An attachment path is empty."));
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!info.exists())
        return fail(QCoreApplication::translate("compose::AttachmentCheck",
                                                "The attachment \"%1\" cannot be attached: there is no such file.")
                        .arg(shown));
    if (!info.isFile())
        return fail(QCoreApplication::translate("compose::AttachmentCheck",
                                                "The attachment \"%1\" cannot be attached: it is not a file.")
                        .arg(shown));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QCoreApplication::translate("compose::AttachmentCheck",
                                                "The attachment \"%1\" cannot be attached: %2")
                        .arg(shown, file.errorString()));
    return true;
}

} // namespace compose
