#include "Kinds.h"

#include "db/Grants.h"
#include "dialogs/Pictures.h"

#include <QHash>

namespace {

struct Look
{
    int kind;
    char badge;
    QRgb color;
    const char *name;
};

// Colours kept apart from the letter cells' own, so that a badge does not
// read as a privilege.
constexpr Look ObjectLooks[] = {
    {db::kind::Procedure, 'P', 0x6a4c93, "procedure"},
    {db::kind::Function, 'F', 0xb5651d, "function"},
    {db::kind::Package, 'K', 0x7b5b3a, "package"},
    {db::kind::Sequence, 'G', 0x2e7d32, "sequence"},
    {db::kind::Exception, 'E', 0xc62828, "exception"},
    {db::kind::Role, 'R', 0x1565c0, "role"},
};
constexpr Look TableLook{db::kind::Relation, 'T', 0x546e7a, "table"};
constexpr Look ViewLook{db::kind::View, 'V', 0x00838f, "view"};

constexpr Look GranteeLooks[] = {
    {db::kind::User, 'U', 0x546e7a, "user"},
    {db::kind::Role, 'R', 0x1565c0, "role"},
    {db::kind::Procedure, 'P', 0x6a4c93, "procedure"},
    {db::kind::Function, 'F', 0xb5651d, "function"},
    {db::kind::Package, 'K', 0x7b5b3a, "package"},
    {db::kind::Trigger, 'T', 0xad1457, "trigger"},
    {db::kind::View, 'V', 0x00838f, "view"},
};

KindLook lookOf(const Look &look)
{
    return {QChar(look.badge), QColor::fromRgb(look.color), QString::fromLatin1(look.name)};
}

// A kind the program does not know still shows, by its number.
KindLook unknownLook(int type, const char *what)
{
    return {QChar(u'?'), QColor(Qt::gray),
            QStringLiteral("%1 of type %2").arg(QLatin1String(what)).arg(type)};
}

template <std::size_t N> const Look *find(const Look (&looks)[N], int type)
{
    for (const Look &look : looks) {
        if (look.kind == type)
            return &look;
    }
    return nullptr;
}

} // namespace

KindLook objectLook(int objectType, bool isView)
{
    if (objectType == db::kind::Relation)
        return lookOf(isView ? ViewLook : TableLook);
    const Look *look = find(ObjectLooks, objectType);
    return look ? lookOf(*look) : unknownLook(objectType, "object");
}

KindLook granteeLook(int granteeType)
{
    const Look *look = find(GranteeLooks, granteeType);
    return look ? lookOf(*look) : unknownLook(granteeType, "grantee");
}

QIcon kindBadge(const KindLook &look)
{
    static QHash<QString, QIcon> badges;
    const QString key = look.badge + look.color.name();
    auto it = badges.find(key);
    if (it == badges.end())
        it = badges.insert(key, pictures::letterBadge(look.badge, look.color));
    return *it;
}
