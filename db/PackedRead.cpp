#include "PackedRead.h"

#include "Exception.h"

#include <QScopeGuard>

#include <algorithm>

namespace db {

namespace {

QString variable(int index)
{
    return QStringLiteral("V%1").arg(index);
}

// A value as it travels: its UTF-8 bytes counted, or "-" for a null.
QString packedValueSql(const QString &value)
{
    const QString trimmed = QStringLiteral("TRIM(TRAILING FROM %1)").arg(value);
    return QStringLiteral("COALESCE(OCTET_LENGTH(%1) || ':' || %1, '-')").arg(trimmed);
}

} // namespace

QString packedLoopSql(int index, const PackedSource &source)
{
    QStringList into;
    QStringList values;
    for (int field = 0; field < source.fieldNames.size(); ++field) {
        into.append(variable(field));
        values.append(packedValueSql(variable(field)));
    }
    // Put together, not through arg(): a select's text is not a format.
    return QStringLiteral("  FOR ") + source.selectSql + QStringLiteral("\n    INTO ") +
           into.join(QStringLiteral(", ")) +
           QStringLiteral("\n  DO\n  BEGIN\n    ITEM = '%1;' || ").arg(index) +
           values.join(QStringLiteral(" || ")) +
           QStringLiteral(";\n"
                          "    IF (OCTET_LENGTH(CHUNK) + OCTET_LENGTH(ITEM) > %1) THEN\n"
                          "    BEGIN\n"
                          "      SUSPEND;\n"
                          "      CHUNK = '';\n"
                          "    END\n"
                          "    CHUNK = CHUNK || ITEM;\n"
                          "  END\n")
               .arg(PackedChunkBytes);
}

QString packedReturnsSql()
{
    return QStringLiteral("RETURNS (CHUNK VARCHAR(%1) CHARACTER SET NONE)").arg(PackedChunkBytes);
}

QString packedVariablesSql(qsizetype width)
{
    QString sql =
        QStringLiteral("  DECLARE ITEM VARCHAR(%1) CHARACTER SET NONE;\n").arg(PackedChunkBytes);
    for (int field = 0; field < width; ++field)
        sql +=
            QStringLiteral("  DECLARE %1 VARCHAR(255) CHARACTER SET UTF8;\n").arg(variable(field));
    return sql;
}

QString packedLastChunkSql()
{
    return QStringLiteral("  IF (CHUNK <> '') THEN\n    SUSPEND;\n");
}

QString packedNamesVariablesSql()
{
    return QStringLiteral("  DECLARE AT_CHAR INTEGER = 1;\n"
                          "  DECLARE COLON INTEGER;\n"
                          "  DECLARE LEN INTEGER;\n");
}

// The variables are read as ": NAME", the blank keeping them from being
// taken for the statement's parameters.
QString eachPackedNameSql(const QStringList &numbers, const QString &body)
{
    QString sql = QStringLiteral("  WHILE (AT_CHAR <= CHAR_LENGTH(NAMES)) DO\n"
                                 "  BEGIN\n");
    for (const QString &number : numbers + QStringList{QStringLiteral("LEN")})
        sql += QStringLiteral("    COLON = POSITION(':', NAMES, AT_CHAR);\n"
                              "    %1 = CAST(SUBSTRING(NAMES FROM AT_CHAR FOR COLON - AT_CHAR) AS "
                              "INTEGER);\n"
                              "    AT_CHAR = COLON + 1;\n")
                   .arg(number);
    // Put together, not through arg(): the body's text is not a format.
    return sql +
           QStringLiteral("    NAME = SUBSTRING(NAMES FROM AT_CHAR FOR LEN);\n"
                          "    AT_CHAR = AT_CHAR + LEN;\n") +
           body + QStringLiteral("  END\n");
}

namespace {

// Reads the packed rows back, failing on anything the block cannot have
// written rather than guessing.
class ChunkReader
{
public:
    explicit ChunkReader(const QByteArray &chunk) : m_chunk(chunk) {}

    [[nodiscard]] bool atEnd() const { return m_at >= m_chunk.size(); }

    int numberBefore(char end)
    {
        const qsizetype stop = m_chunk.indexOf(end, m_at);
        bool ok = false;
        const int number = stop > m_at ? m_chunk.mid(m_at, stop - m_at).toInt(&ok) : -1;
        if (!ok || number < 0)
            fail();
        m_at = stop + 1;
        return number;
    }

    QString value()
    {
        if (m_at < m_chunk.size() && m_chunk.at(m_at) == '-') {
            ++m_at;
            return {};
        }
        const int bytes = numberBefore(':');
        if (bytes > m_chunk.size() - m_at)
            fail();
        const QString text = QString::fromUtf8(m_chunk.constData() + m_at, bytes);
        m_at += bytes;
        return text;
    }

    [[noreturn]] static void fail()
    {
        throw kelvane::EngineError(
            QStringLiteral("The server's packed rows could not be read back"));
    }

private:
    const QByteArray m_chunk;
    qsizetype m_at = 0;
};

} // namespace

PackedSource packedSourceOf(const TDataSet &dataSet)
{
    PackedSource source{dataSet.selectText(), {}};
    for (int field = 0; field < dataSet.fieldCount(); ++field) {
        if (!dataSet.fields(field)->isCalculated())
            source.fieldNames.append(dataSet.fields(field)->fieldName());
    }
    return source;
}

QString packedReadSql(const QList<PackedSource> &sources)
{
    qsizetype widest = 0;
    for (const PackedSource &source : sources)
        widest = std::max(widest, source.fieldNames.size());
    QString sql = QStringLiteral("EXECUTE BLOCK\n") + packedReturnsSql() +
                  QStringLiteral("\nAS\n") + packedVariablesSql(widest) +
                  QStringLiteral("BEGIN\n  CHUNK = '';\n");
    for (int index = 0; index < sources.size(); ++index)
        sql += packedLoopSql(index, sources.at(index));
    return sql + packedLastChunkSql() + QStringLiteral("END");
}

QList<ReadRows> unpackReadRows(const QList<PackedSource> &sources, const QStringList &chunks)
{
    QList<ReadRows> rows;
    for (const PackedSource &source : sources)
        rows.append({source.fieldNames, {}});
    for (const QString &chunk : chunks) {
        ChunkReader reader(chunk.toUtf8());
        while (!reader.atEnd()) {
            const int index = reader.numberBefore(';');
            if (index >= rows.size())
                ChunkReader::fail();
            ReadRows &target = rows[index];
            for (qsizetype field = 0; field < target.fieldNames.size(); ++field)
                target.values.push_back(reader.value());
        }
    }
    return rows;
}

QList<ReadRows> readPackedRows(TQuery &query, const QList<PackedSource> &sources)
{
    query.open();
    QStringList chunks;
    {
        const auto closed = qScopeGuard([&query] { query.close(); });
        for (; !query.eof(); query.next())
            chunks.append(query.fields(0)->text());
    }
    return unpackReadRows(sources, chunks);
}

} // namespace db
