// GMime pulls in GLib and GIO, whose structs have members named "signals": this library is
// built with QT_NO_KEYWORDS so that Qt's macro of that name does not touch them.
#include <gmime/gmime.h>

#include "framework/mail/mimemess.h"

#include "framework/core/abort.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <mutex>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

constexpr char utf8Charset[] = "utf-8";

void initGMimeOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// CR, LF and the other control characters become blanks: a header's text stays one header.
QString headerSafe(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if (u < 32 || u == 127 || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return out.trimmed();
}

// GMime's own format: CRLF line endings and RFC 2231 parameters.
GMimeFormatOptions *formatOptions()
{
    static GMimeFormatOptions *options = [] {
        GMimeFormatOptions *o = g_mime_format_options_new();
        g_mime_format_options_set_newline_format(o, GMIME_NEWLINE_FORMAT_DOS);
        g_mime_format_options_set_param_encoding_method(o, GMIME_PARAM_ENCODING_METHOD_RFC2231);
        return o;
    }();
    return options;
}

void setContent(GMimePart *part, const QByteArray &bytes, GMimeContentEncoding encoding)
{
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
    GMimeDataWrapper *wrapper = g_mime_data_wrapper_new_with_stream(stream, GMIME_CONTENT_ENCODING_DEFAULT);
    g_mime_part_set_content(part, wrapper);
    g_mime_part_set_content_encoding(part, encoding);
    g_object_unref(wrapper);
    g_object_unref(stream);
}

// GMime picks ISO-8859-1 for a parameter whose text fits it; the charset is fixed to UTF-8.
void forceUtf8(GMimeParamList *params, const char *name)
{
    if (GMimeParam *param = params ? g_mime_param_list_get_parameter(params, name) : nullptr)
        g_mime_param_set_charset(param, utf8Charset);
}

void addAddresses(InternetAddressList *target, const QString &text)
{
    const QByteArray utf8 = headerSafe(text).toUtf8();
    if (utf8.isEmpty())
        return;
    InternetAddressList *parsed = internet_address_list_parse(nullptr, utf8.constData());
    if (!parsed || internet_address_list_length(parsed) == 0) {
        if (parsed)
            g_object_unref(parsed);
        InternetAddress *bare = internet_address_mailbox_new(nullptr, utf8.constData());
        internet_address_list_add(target, bare);
        g_object_unref(bare);
        return;
    }
    for (int i = 0; i < internet_address_list_length(parsed); ++i)
        internet_address_set_charset(internet_address_list_get_address(parsed, i), utf8Charset);
    internet_address_list_append(target, parsed);
    g_object_unref(parsed);
}

QString domainOf(const QString &from)
{
    const qsizetype at = from.lastIndexOf(u'@');
    if (at < 0)
        return QSysInfo::machineHostName();
    QString domain = from.mid(at + 1);
    const qsizetype end = domain.indexOf(u'>');
    if (end >= 0)
        domain.truncate(end);
    domain = domain.trimmed();
    return domain.isEmpty() ? QSysInfo::machineHostName() : domain;
}

} // namespace

class TMimePart
{
public:
    explicit TMimePart(GMimeObject *object) : m_object(object) {}
    ~TMimePart() { g_object_unref(m_object); }
    TMimePart(const TMimePart &) = delete;
    TMimePart &operator=(const TMimePart &) = delete;

    GMimeObject *object() const { return m_object; }

private:
    GMimeObject *m_object;
};

struct TMimeMess::Private
{
    std::vector<std::unique_ptr<TMimePart>> parts;
    TMimePart *root = nullptr;
    QByteArray encoded;

    TMimePart *adopt(GMimeObject *object, TMimePart *parent)
    {
        parts.push_back(std::make_unique<TMimePart>(object));
        TMimePart *part = parts.back().get();
        if (!parent) {
            root = part;
        } else {
            if (!GMIME_IS_MULTIPART(parent->object()))
                throw EKprError(u"Uma parte da mensagem só pode ser incluída numa parte multipart."_s);
            g_mime_multipart_add(GMIME_MULTIPART(parent->object()), object);
        }
        return part;
    }
};

void TMessHeader::Clear()
{
    From.clear();
    Subject.clear();
    ToList.clear();
    CCList.clear();
}

TMimeMess::TMimeMess() : d(std::make_unique<Private>())
{
    initGMimeOnce();
}

TMimeMess::~TMimeMess() = default;

void TMimeMess::Clear()
{
    Header.Clear();
    d->root = nullptr;
    d->parts.clear();
    d->encoded.clear();
}

TMimePart *TMimeMess::AddPartMultipart(const QString &subtype, TMimePart *parent)
{
    const QByteArray sub = (subtype.trimmed().isEmpty() ? u"mixed"_s : subtype.trimmed()).toUtf8();
    return d->adopt(GMIME_OBJECT(g_mime_multipart_new_with_subtype(sub.constData())), parent);
}

TMimePart *TMimeMess::AddPartText(const QStringList &lines, TMimePart *parent)
{
    GMimePart *part = g_mime_part_new_with_type("text", "plain");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(part), "charset", utf8Charset);
    setContent(part, lines.join(u'\n').toUtf8(), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    return d->adopt(GMIME_OBJECT(part), parent);
}

TMimePart *TMimeMess::AddPartBinaryFromFile(const QString &fileName, TMimePart *parent)
{
    if (fileName.trimmed().isEmpty())
        throw EKprError(u"O arquivo a anexar à mensagem não foi informado."_s);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw EKprError(u"Não foi possível ler o arquivo \"%1\" para anexar à mensagem: %2."_s.arg(
            QDir::toNativeSeparators(fileName), file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw EKprError(u"Não foi possível ler o arquivo \"%1\" para anexar à mensagem: %2."_s.arg(
            QDir::toNativeSeparators(fileName), file.errorString()));
    }

    const QFileInfo info(fileName);
    const bool pdf = info.suffix().compare(u"pdf"_s, Qt::CaseInsensitive) == 0;
    GMimePart *part = g_mime_part_new_with_type("application", pdf ? "pdf" : "octet-stream");
    setContent(part, bytes, GMIME_CONTENT_ENCODING_BASE64);
    const QByteArray name = headerSafe(info.fileName()).toUtf8();
    g_mime_part_set_filename(part, name.constData());
    GMimeObject *object = GMIME_OBJECT(part);
    if (GMimeContentDisposition *disposition = g_mime_object_get_content_disposition(object))
        forceUtf8(g_mime_content_disposition_get_parameters(disposition), "filename");
    forceUtf8(g_mime_content_type_get_parameters(g_mime_object_get_content_type(object)), "name");
    return d->adopt(object, parent);
}

void TMimeMess::EncodeMessage()
{
    GMimeMessage *message = g_mime_message_new(FALSE);
    GMimeObject *object = GMIME_OBJECT(message);

    addAddresses(g_mime_message_get_from(message), Header.From);
    for (const QString &to : std::as_const(Header.ToList))
        addAddresses(g_mime_message_get_to(message), to);
    for (const QString &cc : std::as_const(Header.CCList))
        addAddresses(g_mime_message_get_cc(message), cc);
    const QByteArray subject = headerSafe(Header.Subject).toUtf8();
    g_mime_message_set_subject(message, subject.constData(), utf8Charset);

    GDateTime *now = g_date_time_new_now_local();
    g_mime_message_set_date(message, now);
    g_date_time_unref(now);
    const QByteArray domain = domainOf(headerSafe(Header.From)).toUtf8();
    char *id = g_mime_utils_generate_message_id(domain.constData());
    g_mime_message_set_message_id(message, id);
    g_free(id);
    g_mime_object_set_header(object, "MIME-Version", "1.0", nullptr);

    if (d->root)
        g_mime_message_set_mime_part(message, d->root->object());

    GMimeStream *stream = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(object, formatOptions(), stream);
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    d->encoded = QByteArray(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    g_object_unref(stream);
    g_object_unref(message);
}

QList<QByteArray> TMimeMess::Lines() const
{
    QList<QByteArray> lines = d->encoded.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // The last line ending leaves an empty piece behind it.
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace kpr
