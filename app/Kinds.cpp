#include "Kinds.h"

#include "db/Vocabulary.h"
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

// One look per kind, objects and grantees alike; views are objects of the
// relation kind, told apart by name, and grantees of a kind of their own.
// Colours are kept apart from the letter cells' own, so that a badge does
// not read as a privilege.
constexpr Look Looks[] = {
    {db::kind::Relation, 'T', 0x546e7a, "table"},
    {db::kind::View, 'V', 0x00838f, "view"},
    {db::kind::Trigger, 'T', 0xad1457, "trigger"},
    {db::kind::Procedure, 'P', 0x6a4c93, "procedure"},
    {db::kind::Exception, 'E', 0xc62828, "exception"},
    {db::kind::User, 'U', 0x546e7a, "user"},
    {db::kind::Role, 'R', 0x1565c0, "role"},
    {db::kind::Sequence, 'G', 0x2e7d32, "sequence"},
    {db::kind::Function, 'F', 0xb5651d, "function"},
    {db::kind::Package, 'K', 0x7b5b3a, "package"},
    {db::kind::DdlPrivilege, 'D', 0x37474f, "DDL privilege"},
};

// A kind the program does not know still shows, by its number.
KindLook lookOf(int type, const char *what)
{
    for (const Look &look : Looks) {
        if (look.kind == type)
            return {QChar(look.badge), QColor::fromRgb(look.color), QString::fromLatin1(look.name)};
    }
    return {QChar(u'?'), QColor(Qt::gray),
            QStringLiteral("%1 of type %2").arg(QLatin1String(what)).arg(type)};
}

} // namespace

KindLook objectLook(int objectType, bool isView)
{
    return lookOf(objectType == db::kind::Relation && isView ? db::kind::View : objectType,
                  "object");
}

KindLook granteeLook(int granteeType)
{
    return lookOf(granteeType, "grantee");
}

QIcon kindBadge(const KindLook &look)
{
    // Asked for at every paint of a name cell: the key is built without
    // allocating.
    static QHash<quint64, QIcon> badges;
    const quint64 key = quint64(look.badge.unicode()) << 32 | look.color.rgba();
    auto it = badges.find(key);
    if (it == badges.end())
        it = badges.insert(key, pictures::letterBadge(look.badge, look.color));
    return *it;
}
