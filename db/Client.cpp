#include "Client.h"

#include "Exception.h"
#include "SqlLog.h"

#include <QByteArray>
#include <algorithm>
#include <array>
#include <cstring>
#include <firebird/Interface.h>
#include <ibase.h>
#include <utility>

namespace db::client {

using namespace Firebird;

namespace {

// UTF8 in the server's numbering of character sets.
constexpr unsigned CharSetUtf8 = 4;
// What a value of a type the program does not decode itself is converted
// to: text as long as any the program reads (a timestamp, a boolean, a
// scaled number, a text blob's first characters).
constexpr unsigned CoercedBytes = 1024;
constexpr unsigned Dialect = 3;

IMaster *master()
{
    static IMaster *const instance = fb_get_master_interface();
    return instance;
}

// Firebird 4's words for codes a Firebird 3 client does not know, which
// formats them as "unknown ISC error N" and drops their arguments.
struct NewerMessage
{
    qint64 code;
    const char *text;
};

constexpr NewerMessage NewerMessages[] = {
    {335545254, "Firebird 4: \"Effective user is ...\""},
};

// The arguments of each code in the vector, in order.
struct StatusEntry
{
    qint64 code = 0;
    QStringList arguments;
};

QList<StatusEntry> entriesOf(const ISC_STATUS *vector)
{
    QList<StatusEntry> entries;
    for (const ISC_STATUS *item = vector; *item != isc_arg_end;) {
        switch (*item) {
        case isc_arg_gds:
            entries.append(StatusEntry{item[1], {}});
            item += 2;
            break;
        case isc_arg_cstring:
            if (!entries.isEmpty())
                entries.back().arguments.append(
                    QString::fromUtf8(reinterpret_cast<const char *>(item[2]), qsizetype(item[1])));
            item += 3;
            break;
        case isc_arg_string:
            if (!entries.isEmpty())
                entries.back().arguments.append(
                    QString::fromUtf8(reinterpret_cast<const char *>(item[1])));
            item += 2;
            break;
        case isc_arg_number:
            if (!entries.isEmpty())
                entries.back().arguments.append(QString::number(item[1]));
            item += 2;
            break;
        default: // interpreted texts, SQL states, warnings: in the formatted text
            item += 2;
            break;
        }
    }
    return entries;
}

// The client's own text of the vector, where every code it does not know
// keeps its number and gains whatever words can be had: its arguments, and
// the newer server's wording where the program knows it.
QString messageOf(IStatus *status, const QList<StatusEntry> &entries)
{
    char buffer[4096];
    master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, status);
    QString message = QString::fromUtf8(buffer).trimmed();
    for (const StatusEntry &entry : entries) {
        const QString unknown = QStringLiteral("unknown ISC error %1").arg(entry.code);
        if (!message.contains(unknown))
            continue;
        QStringList words;
        for (const NewerMessage &newer : NewerMessages) {
            if (newer.code == entry.code)
                words.append(QString::fromUtf8(newer.text));
        }
        if (!entry.arguments.isEmpty())
            words.append(QStringLiteral("arguments: ") +
                         entry.arguments.join(QStringLiteral(", ")));
        if (!words.isEmpty())
            message.replace(unknown, unknown + QStringLiteral(" (") +
                                         words.join(QStringLiteral("; ")) + QLatin1Char(')'));
    }
    return message;
}

// One status vector for one call into the client, disposed of at the end.
class Status
{
public:
    Status() : m_status(master()->getStatus()), m_wrapper(m_status) {}
    ~Status() { m_status->dispose(); }
    Status(const Status &) = delete;
    Status &operator=(const Status &) = delete;

    CheckStatusWrapper *operator&() { return &m_wrapper; }
    [[nodiscard]] bool failed() const
    {
        return (m_wrapper.getState() & IStatus::STATE_ERRORS) != 0;
    }
    // Throws what the last call failed with, if it failed.
    void check()
    {
        if (failed())
            throw error();
    }
    [[nodiscard]] kelvane::EngineError error()
    {
        const QList<StatusEntry> entries = entriesOf(m_wrapper.getErrors());
        QList<qint64> codes;
        for (const StatusEntry &entry : entries)
            codes.append(entry.code);
        return kelvane::EngineError(messageOf(&m_wrapper, entries), codes);
    }

private:
    IStatus *m_status;
    CheckStatusWrapper m_wrapper;
};

// Takes ownership of a reference-counted interface the client handed out.
template <typename T> struct Released
{
    T *handle = nullptr;
    ~Released()
    {
        if (handle)
            handle->release();
    }
};

class XpbBuilder
{
public:
    explicit XpbBuilder(unsigned kind)
    {
        Status status;
        m_builder = master()->getUtilInterface()->getXpbBuilder(&status, kind, nullptr, 0);
        status.check();
    }
    ~XpbBuilder() { m_builder->dispose(); }
    XpbBuilder(const XpbBuilder &) = delete;
    XpbBuilder &operator=(const XpbBuilder &) = delete;

    void tag(unsigned char tag)
    {
        Status status;
        m_builder->insertTag(&status, tag);
        status.check();
    }
    void integer(unsigned char tag, int value)
    {
        Status status;
        m_builder->insertInt(&status, tag, value);
        status.check();
    }
    void text(unsigned char tag, const QString &value)
    {
        Status status;
        m_builder->insertString(&status, tag, value.toUtf8().constData());
        status.check();
    }
    [[nodiscard]] unsigned length()
    {
        Status status;
        const unsigned result = m_builder->getBufferLength(&status);
        status.check();
        return result;
    }
    [[nodiscard]] const unsigned char *buffer()
    {
        Status status;
        const unsigned char *result = m_builder->getBuffer(&status);
        status.check();
        return result;
    }

private:
    IXpbBuilder *m_builder = nullptr;
};

// The parameters of one execution as a message: every one a UTF-8 text,
// which the server converts to what the statement needs.
class InputMessage
{
public:
    explicit InputMessage(const QStringList &values)
    {
        if (values.isEmpty())
            return;
        QList<QByteArray> texts;
        for (const QString &value : values)
            texts.append(value.toUtf8());
        Status status;
        Released<IMetadataBuilder> builder{
            master()->getMetadataBuilder(&status, unsigned(values.size()))};
        status.check();
        for (unsigned i = 0; i < unsigned(texts.size()); ++i) {
            builder.handle->setType(&status, i, SQL_VARYING + 1);
            status.check();
            builder.handle->setLength(&status, i,
                                      unsigned(std::max<qsizetype>(1, texts[i].size())));
            status.check();
            builder.handle->setCharSet(&status, i, CharSetUtf8);
            status.check();
        }
        m_metadata.handle = builder.handle->getMetadata(&status);
        status.check();
        m_buffer.assign(m_metadata.handle->getMessageLength(&status), 0);
        status.check();
        for (unsigned i = 0; i < unsigned(texts.size()); ++i) {
            const unsigned offset = m_metadata.handle->getOffset(&status, i);
            status.check();
            const auto length = quint16(texts[i].size());
            std::memcpy(&m_buffer[offset], &length, sizeof length);
            std::memcpy(&m_buffer[offset + sizeof length], texts[i].constData(), length);
            // The null flags are zero already: no parameter is NULL.
        }
    }

    [[nodiscard]] IMessageMetadata *metadata() const { return m_metadata.handle; }
    [[nodiscard]] void *buffer() { return m_buffer.empty() ? nullptr : m_buffer.data(); }

private:
    Released<IMessageMetadata> m_metadata;
    std::vector<unsigned char> m_buffer;
};

void checkParameters(const QStringList &values, int expected)
{
    if (values.size() != expected)
        throw kelvane::EngineError(QStringLiteral("The statement takes %1 parameters, not %2")
                                       .arg(expected)
                                       .arg(values.size()));
    for (const QString &value : values) {
        if (value.toUtf8().size() > MaxParameterBytes)
            throw kelvane::EngineError(
                QStringLiteral("A parameter of %1 bytes is longer than the server takes (%2)")
                    .arg(value.toUtf8().size())
                    .arg(MaxParameterBytes));
    }
}

// Texts of one character are shared, not allocated once per row: the
// catalogue's privilege letters and flags are most of what a read holds.
const QString &sharedCharacter(char16_t c)
{
    static const auto characters = [] {
        std::array<QString, 128> all;
        for (char16_t i = 0; i < 128; ++i)
            all[i] = QString(QChar(i));
        return all;
    }();
    return characters[c];
}

QString textOf(const char *bytes, qsizetype length)
{
    if (length == 1 && static_cast<unsigned char>(bytes[0]) < 128)
        return sharedCharacter(char16_t(bytes[0]));
    return QString::fromUtf8(bytes, length);
}

} // namespace

// --- Attachment -----------------------------------------------------------

Attachment::Attachment(const QString &target, const Login &login)
{
    XpbBuilder dpb(IXpbBuilder::DPB);
    dpb.text(isc_dpb_user_name, login.user);
    dpb.text(isc_dpb_password, login.password);
    if (!login.role.isEmpty())
        dpb.text(isc_dpb_sql_role_name, login.role);
    dpb.text(isc_dpb_lc_ctype, QStringLiteral("UTF8"));
    // The path and the login travel as UTF-8, whatever the locale.
    dpb.tag(isc_dpb_utf8_filename);
    Status status;
    Released<IProvider> provider{master()->getDispatcher()};
    m_handle = provider.handle->attachDatabase(&status, target.toUtf8().constData(), dpb.length(),
                                               dpb.buffer());
    status.check();
}

Attachment::~Attachment()
{
    Status status;
    m_handle->detach(&status);
    // A lost connection cannot be detached from: let go of it all the same.
    if (status.failed()) {
        qCDebug(lcSql).noquote() << "detach failed:" << status.error().message();
        m_handle->release();
    }
}

void Attachment::execute(Transaction &transaction, const QString &statement)
{
    Status status;
    m_handle->execute(&status, transaction.handle(), 0, statement.toUtf8().constData(), Dialect,
                      nullptr, nullptr, nullptr, nullptr);
    status.check();
}

// --- Transaction ----------------------------------------------------------

Transaction::Transaction(Attachment &attachment, TransactionKind kind, int lockTimeoutSeconds)
{
    XpbBuilder tpb(IXpbBuilder::TPB);
    if (kind == TransactionKind::ReadCommittedReadOnly) {
        tpb.tag(isc_tpb_read);
        tpb.tag(isc_tpb_read_committed);
        tpb.tag(isc_tpb_rec_version);
        tpb.tag(isc_tpb_nowait);
    } else {
        tpb.tag(isc_tpb_write);
        tpb.tag(isc_tpb_read_committed);
        tpb.tag(isc_tpb_rec_version);
        tpb.tag(isc_tpb_wait);
        tpb.integer(isc_tpb_lock_timeout, lockTimeoutSeconds);
    }
    Status status;
    m_handle = attachment.handle()->startTransaction(&status, tpb.length(), tpb.buffer());
    status.check();
}

Transaction::~Transaction()
{
    rollback();
}

ITransaction *Transaction::handle() const
{
    if (!m_handle)
        throw kelvane::EngineError(QStringLiteral("The transaction has ended"));
    return m_handle;
}

void Transaction::commit()
{
    if (!m_handle)
        return;
    Status status;
    m_handle->commit(&status);
    if (!status.failed()) {
        m_handle = nullptr; // a commit that succeeds releases the interface
        return;
    }
    kelvane::EngineError failure = status.error();
    const QString rollbackFailure = rollback();
    if (!rollbackFailure.isEmpty())
        qCDebug(lcSql).noquote() << "rollback after the failed commit failed:" << rollbackFailure;
    throw failure;
}

QString Transaction::rollback()
{
    if (!m_handle)
        return {};
    ITransaction *handle = std::exchange(m_handle, nullptr);
    Status status;
    handle->rollback(&status);
    if (!status.failed())
        return {};
    // The server ends the transaction with the attachment; the interface
    // goes now.
    handle->release();
    return status.error().message();
}

// --- Statement ------------------------------------------------------------

// How a statement's rows are read: the output message the server is asked
// for, every type the program does not decode itself converted to text, and
// where each column lies in it.
struct RowLayout
{
    struct Column
    {
        QString name;
        unsigned type = 0;
        unsigned offset = 0;
        unsigned nullOffset = 0;
        unsigned length = 0;
    };

    explicit RowLayout(IStatement *statement);
    RowLayout(const RowLayout &) = delete;
    RowLayout &operator=(const RowLayout &) = delete;

    Released<IMessageMetadata> metadata;
    std::vector<Column> columns;
    unsigned length = 0;
};

RowLayout::RowLayout(IStatement *statement)
{
    Status status;
    Released<IMessageMetadata> described{statement->getOutputMetadata(&status)};
    status.check();
    const unsigned count = described.handle->getCount(&status);
    status.check();
    Released<IMetadataBuilder> builder{described.handle->getBuilder(&status)};
    status.check();
    columns.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        columns[i].name = QString::fromUtf8(described.handle->getAlias(&status, i));
        const unsigned type = described.handle->getType(&status, i) & ~1u;
        const int scale = described.handle->getScale(&status, i);
        status.check();
        const bool decoded =
            type == SQL_TEXT || type == SQL_VARYING ||
            ((type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64) && scale == 0);
        if (decoded)
            continue;
        // Everything else the server writes out as text for us.
        builder.handle->setType(&status, i, SQL_VARYING + 1);
        builder.handle->setSubType(&status, i, 0);
        builder.handle->setScale(&status, i, 0);
        builder.handle->setLength(&status, i, CoercedBytes);
        builder.handle->setCharSet(&status, i, CharSetUtf8);
        status.check();
    }
    metadata.handle = builder.handle->getMetadata(&status);
    status.check();
    IMessageMetadata *const rows = metadata.handle;
    for (unsigned i = 0; i < count; ++i) {
        Column &column = columns[i];
        column.type = rows->getType(&status, i) & ~1u;
        column.offset = rows->getOffset(&status, i);
        column.nullOffset = rows->getNullOffset(&status, i);
        column.length = rows->getLength(&status, i);
        status.check();
    }
    length = rows->getMessageLength(&status);
    status.check();
}

Statement::Statement(Attachment &attachment, Transaction &transaction, const QString &sql)
{
    Status status;
    m_handle =
        attachment.handle()->prepare(&status, transaction.handle(), 0, sql.toUtf8().constData(),
                                     Dialect, IStatement::PREPARE_PREFETCH_METADATA);
    status.check();
    try {
        Released<IMessageMetadata> input{m_handle->getInputMetadata(&status)};
        status.check();
        m_parameterCount = int(input.handle->getCount(&status));
        status.check();
        m_rows = std::make_unique<RowLayout>(m_handle);
    } catch (...) {
        m_handle->release();
        throw;
    }
}

Statement::~Statement()
{
    m_cursor.reset();
    Status status;
    m_handle->free(&status);
    if (status.failed())
        m_handle->release();
}

void Statement::execute(Transaction &transaction, const QStringList &parameters)
{
    checkParameters(parameters, m_parameterCount);
    closeCursor();
    InputMessage input(parameters);
    Status status;
    m_handle->execute(&status, transaction.handle(), input.metadata(), input.buffer(), nullptr,
                      nullptr);
    status.check();
}

Cursor &Statement::open(Transaction &transaction, const QStringList &parameters)
{
    checkParameters(parameters, m_parameterCount);
    closeCursor();
    m_cursor.reset(new Cursor(m_handle, *m_rows, transaction, parameters));
    return *m_cursor;
}

void Statement::closeCursor()
{
    m_cursor.reset();
}

// --- Cursor ---------------------------------------------------------------

Cursor::Cursor(IStatement *statement, const RowLayout &rows, Transaction &transaction,
               const QStringList &parameters)
    : m_rows(rows), m_buffer(rows.length, 0)
{
    InputMessage input(parameters);
    Status status;
    m_handle = statement->openCursor(&status, transaction.handle(), input.metadata(),
                                     input.buffer(), rows.metadata.handle, 0);
    status.check();
}

int Cursor::columnCount() const
{
    return int(m_rows.columns.size());
}

const QString &Cursor::columnName(int column) const
{
    return m_rows.columns[size_t(column)].name;
}

Cursor::~Cursor()
{
    close();
}

void Cursor::close()
{
    if (!m_handle)
        return;
    Status status;
    m_handle->close(&status);
    if (status.failed())
        m_handle->release();
    m_handle = nullptr;
}

bool Cursor::fetch()
{
    if (!m_handle)
        return false;
    Status status;
    const int result = m_handle->fetchNext(&status, m_buffer.data());
    status.check();
    if (result == IStatus::RESULT_OK)
        return true;
    close();
    return false;
}

QString Cursor::text(int index) const
{
    const RowLayout::Column &column = m_rows.columns[size_t(index)];
    const unsigned char *data = m_buffer.data();
    qint16 null = 0;
    std::memcpy(&null, data + column.nullOffset, sizeof null);
    if (null)
        return {};
    const auto *value = reinterpret_cast<const char *>(data + column.offset);
    switch (column.type) {
    case SQL_TEXT: {
        // A CHAR comes padded with blanks to its full length.
        qsizetype length = column.length;
        while (length > 0 && value[length - 1] == ' ')
            --length;
        return textOf(value, length);
    }
    case SQL_VARYING: {
        quint16 length = 0;
        std::memcpy(&length, value, sizeof length);
        return textOf(value + sizeof length, length);
    }
    case SQL_SHORT: {
        qint16 number = 0;
        std::memcpy(&number, value, sizeof number);
        return QString::number(number);
    }
    case SQL_LONG: {
        qint32 number = 0;
        std::memcpy(&number, value, sizeof number);
        return QString::number(number);
    }
    case SQL_INT64: {
        qint64 number = 0;
        std::memcpy(&number, value, sizeof number);
        return QString::number(number);
    }
    default:
        throw kelvane::EngineError(
            QStringLiteral("Column %1 has a type (%2) that cannot be read as text")
                .arg(column.name)
                .arg(column.type));
    }
}

} // namespace db::client
