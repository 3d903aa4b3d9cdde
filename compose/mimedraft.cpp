#include "compose/mimedraft.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSaveFile>

// GLib uses "signals" as a member name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <fcntl.h>

#include <memory>

namespace compose {
namespace {

struct Unref
{
    void operator()(void *object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template<typename T>
using Owned = std::unique_ptr<T, Unref>;

struct FreeText
{
    void operator()(char *text) const { g_free(text); }
};
using GText = std::unique_ptr<char, FreeText>;

// GMime's types derive from GMimeObject by embedding it first, as GObject
// types do; this is the conversion that G_TYPE_CHECK_INSTANCE_CAST makes.
template<typename T>
GMimeObject *asObject(T *object)
{
    return reinterpret_cast<GMimeObject *>(object);
}

void startGMime()
{
    static const bool started = [] {
        g_mime_init();
        return true;
    }();
    Q_UNUSED(started);
}

GMimeFormatOptions *crlfFormat()
{
    static GMimeFormatOptions *const format = [] {
        GMimeFormatOptions *options = g_mime_format_options_new();
        g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
        return options;
    }();
    return format;
}

// A header cannot hold a line break: each one becomes a space, so that no
// text can start a header of its own.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// "Name: value" folded into lines of the usual length, without the final line end.
QByteArray headerField(const char *name, const QString &value, bool structured)
{
    QByteArray field = QByteArray(name) + ": ";
    const QString line = oneLine(value);
    if (structured && isAscii(line)) {
        field += line.toLatin1();
    } else {
        const GText encoded(g_mime_utils_header_encode_text(nullptr, line.toUtf8().constData(), "utf-8"));
        field += encoded.get();
    }
    const GText folded(structured
                           ? g_mime_utils_structured_header_fold(nullptr, crlfFormat(), field.constData())
                           : g_mime_utils_unstructured_header_fold(nullptr, crlfFormat(), field.constData()));
    // GMime folds with LF whatever the format says; the draft's lines end in CR LF.
    QByteArray result(folded.get());
    result.replace('\r', QByteArray()).replace('\n', "\r\n");
    while (result.endsWith("\r\n"))
        result.chop(2);
    return result;
}

QByteArray headerBlock(const Message &message)
{
    QByteArray block;
    auto add = [&block](const QByteArray &field) {
        block += field;
        block += "\r\n";
    };
    if (!message.to.isEmpty())
        add(headerField("To", message.to, true));
    if (!message.cc.isEmpty())
        add(headerField("Cc", message.cc, true));
    if (!message.bcc.isEmpty())
        add(headerField("Bcc", message.bcc, true));
    add(headerField("Subject", message.subject, false));
    add("Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1());
    add("X-Unsent: 1");
    add("MIME-Version: 1.0");
    return block;
}

GMimeObject *bodyPart(const Message &message)
{
    // The text goes in as UTF-8 as it is, without GMime's search for the
    // smallest charset, which would cost more than all the rest for a big body.
    GMimePart *part = g_mime_part_new_with_type("text", message.isHtml() ? "html" : "plain");
    GMimeObject *object = asObject(part);
    g_mime_object_set_content_type_parameter(object, "charset", "utf-8");
    // LF line ends here; every line is written out with CR LF.
    QByteArray utf8 = message.body.toUtf8();
    char *kept = utf8.data();
    const char *const end = utf8.constData() + utf8.size();
    for (const char *c = utf8.constData(); c != end; ++c) {
        if (!(*c == '\r' && c + 1 != end && c[1] == '\n'))
            *kept++ = *c;
    }
    utf8.truncate(kept - utf8.constData());
    Owned<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(utf8.constData(), size_t(utf8.size())));
    Owned<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, content.get());
    return object;
}

GMimeObject *attachmentPart(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const QStringList type =
        QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name().split(u'/');
    GMimePart *part = g_mime_part_new_with_type(type.value(0).toUtf8().constData(),
                                                type.value(1).toUtf8().constData());
    Owned<GMimePart> owner(part);
    g_mime_object_set_disposition(asObject(part), GMIME_DISPOSITION_ATTACHMENT);
    g_mime_part_set_filename(part, info.fileName().toUtf8().constData());

    GError *openError = nullptr;
    Owned<GMimeStream> stream(g_mime_stream_fs_open(QFile::encodeName(path).constData(), O_RDONLY, 0, &openError));
    if (!stream) {
        *error = QStringLiteral("The attachment \"%1\" cannot be read: %2")
                     .arg(path, QString::fromUtf8(openError ? openError->message : "unknown error"));
        g_clear_error(&openError);
        return nullptr;
    }
    Owned<GMimeDataWrapper> content(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, content.get());
    g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
    return asObject(owner.release());
}

// The draft's MIME body (everything after the message's own headers).
Owned<GMimeStream> writeBody(const Message &message, QString *error)
{
    startGMime();
    Owned<GMimeObject> top(bodyPart(message));
    g_mime_object_encode(top.get(), GMIME_ENCODING_CONSTRAINT_7BIT);
    if (!message.attachments.isEmpty()) {
        Owned<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(mixed.get(), top.get());
        for (const QString &path : message.attachments) {
            Owned<GMimeObject> part(attachmentPart(path, error));
            if (!part)
                return nullptr;
            g_mime_multipart_add(mixed.get(), part.get());
        }
        top.reset(asObject(mixed.release()));
    }
    // Room for the whole draft at once: base64 and quoted-printable make
    // files about a third bigger.
    qint64 expected = 4096 + message.body.size() * 2;
    for (const QString &path : message.attachments)
        expected += QFileInfo(path).size() * 137 / 100 + 512;
    Owned<GMimeStream> out(g_mime_stream_mem_new_with_byte_array(g_byte_array_sized_new(guint(expected))));
    if (g_mime_object_write_to_stream(top.get(), crlfFormat(), out.get()) < 0) {
        *error = QStringLiteral("The message could not be put together: an attachment could not be read.");
        return nullptr;
    }
    return out;
}

QByteArrayView bytesOf(GMimeStream *stream)
{
    const GByteArray *bytes = g_mime_stream_mem_get_byte_array(reinterpret_cast<GMimeStreamMem *>(stream));
    return QByteArrayView(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
}

} // namespace

bool buildMimeDraft(const Message &message, QByteArray *draft, QString *error)
{
    QString why;
    const Owned<GMimeStream> body = writeBody(message, &why);
    if (!body) {
        if (error)
            *error = why;
        return false;
    }
    *draft = headerBlock(message);
    draft->append(bytesOf(body.get()));
    return true;
}

bool saveMimeDraft(const Message &message, const QString &path, QString *error)
{
    QString why;
    const Owned<GMimeStream> body = writeBody(message, &why);
    if (!body) {
        if (error)
            *error = why;
        return false;
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray headers = headerBlock(message);
        const QByteArrayView rest = bytesOf(body.get());
        if (file.write(headers) == headers.size() && file.write(rest.data(), rest.size()) == rest.size()
            && file.commit())
            return true;
    }
    if (error)
        *error = QStringLiteral("The draft \"%1\" could not be saved: %2").arg(path, file.errorString());
    return false;
}

} // namespace compose
