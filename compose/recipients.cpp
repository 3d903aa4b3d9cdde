#include "compose/recipients.h"

namespace compose {
namespace {

// Where a piece of the box's text starts and ends, and whether it holds "@".
struct Span
{
    qsizetype begin, end;
    bool hasAt;
};

// Reads text as RFC 5322 quotes it: a quoted string ("..."), a comment
// ((...), nested) and an angle address (<...>) each hide the specials they
// hold; a backslash in a quoted string or a comment hides the character
// after it. at(i) tells whether the character at i stands outside all of
// them; step() moves on by one character.
class Reader
{
public:
    explicit Reader(QStringView text) : m_text(text) {}

    bool atEnd() const { return m_pos >= m_text.size(); }
    qsizetype pos() const { return m_pos; }
    QChar current() const { return m_text.at(m_pos); }
    bool outside() const { return !m_quoted && m_comment == 0 && !m_angled; }
    bool inAngle() const { return m_angled; }

    void step()
    {
        const QChar c = m_text.at(m_pos);
        if ((m_quoted || m_comment > 0) && c == u'\\') {
            m_pos = std::min(m_pos + 2, m_text.size());
            return;
        }
        if (m_quoted) {
            m_quoted = c != u'"';
        } else if (m_comment > 0) {
            m_comment += c == u'(' ? 1 : c == u')' ? -1 : 0;
        } else if (m_angled) {
            m_angled = c != u'>';
        } else if (c == u'"') {
            m_quoted = true;
        } else if (c == u'(') {
            m_comment = 1;
        } else if (c == u'<') {
            m_angled = true;
        }
        ++m_pos;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
    bool m_quoted = false;
    int m_comment = 0;
    bool m_angled = false;
};

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

QStringView trimmed(QStringView text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isSpace(text.at(begin)))
        ++begin;
    while (end > begin && isSpace(text.at(end - 1)))
        --end;
    return text.sliced(begin, end - begin);
}

// A display name as typed, its quotes taken away and what they escape kept.
QString unquotedName(QStringView phrase)
{
    QString name;
    bool quoted = false;
    for (qsizetype i = 0; i < phrase.size(); ++i) {
        const QChar c = phrase.at(i);
        if (quoted && c == u'\\' && i + 1 < phrase.size()) {
            name += phrase.at(++i);
        } else if (c == u'"') {
            quoted = !quoted;
        } else {
            name += c;
        }
    }
    return trimmed(name).toString();
}

// One address from its piece of the box: name <address> when the piece ends
// with an angle address, else the piece as typed.
Recipient recipientOf(QStringView piece)
{
    Recipient recipient;
    recipient.address = piece.toString();
    qsizetype open = -1, close = -1;
    for (Reader reader(piece); !reader.atEnd(); reader.step()) {
        if (reader.outside() && reader.current() == u'<') {
            open = reader.pos();
            close = -1;
        } else if (reader.inAngle() && reader.current() == u'>') {
            close = reader.pos();
        }
    }
    if (open < 0 || close < 0 || !trimmed(piece.sliced(close + 1)).isEmpty())
        return recipient;
    const QStringView address = trimmed(piece.sliced(open + 1, close - open - 1));
    if (address.isEmpty())
        return recipient;
    recipient.address = address.toString();
    recipient.name = unquotedName(piece.first(open));
    recipient.angled = true;
    return recipient;
}

// A name that RFC 5322 (with RFC 6532's letters beyond ASCII) can write as
// words, without quotes: atoms separated by single spaces.
bool isWords(const QString &name)
{
    static const QString special = QStringLiteral("()<>[]:;@\\,.\"");
    if (name.isEmpty() || name.startsWith(u' ') || name.endsWith(u' ') || name.contains(QLatin1String("  ")))
        return false;
    for (const QChar c : name) {
        if (c != u' ' && (c.unicode() < 0x21 || c.unicode() == 0x7f || special.contains(c)))
            return false;
    }
    return true;
}

} // namespace

QList<Recipient> splitRecipients(const QString &text)
{
    // The pieces between separators that stand outside quotes, comments and
    // angle addresses; empty ones are dropped.
    QList<Span> pieces;
    qsizetype begin = 0;
    auto endPiece = [&](qsizetype end) {
        const QStringView piece = trimmed(QStringView(text).sliced(begin, end - begin));
        if (!piece.isEmpty()) {
            const qsizetype start = piece.data() - text.constData();
            pieces.append({start, start + piece.size(), piece.contains(u'@')});
        }
        begin = end + 1;
    };
    for (Reader reader(text); !reader.atEnd(); reader.step()) {
        if (reader.outside() && (reader.current() == u',' || reader.current() == u';'))
            endPiece(reader.pos());
    }
    endPiece(text.size());

    // A piece without "@" is the start of the next one ("Doe, John <...>").
    QList<Recipient> recipients;
    qsizetype start = -1;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (start < 0)
            start = pieces.at(i).begin;
        if (!pieces.at(i).hasAt && i + 1 < pieces.size())
            continue;
        recipients.append(recipientOf(QStringView(text).sliced(start, pieces.at(i).end - start)));
        start = -1;
    }
    return recipients;
}

QString displayNameText(const QString &name)
{
    if (isWords(name))
        return name;
    QString quoted = name;
    quoted.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("\\\""));
    return u'"' + quoted + u'"';
}

QString mailboxText(const Recipient &recipient)
{
    if (!recipient.angled || recipient.name.isEmpty())
        return recipient.address;
    return displayNameText(recipient.name) + QStringLiteral(" <") + recipient.address + u'>';
}

QStringList mailboxes(const QString &text)
{
    QStringList list;
    for (const Recipient &recipient : splitRecipients(text))
        list << mailboxText(recipient);
    return list;
}

QString addressList(const QString &text)
{
    return mailboxes(text).join(QStringLiteral(", "));
}

} // namespace compose
