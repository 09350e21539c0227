#include "varnex/interface/icontable.h"

const QStringList& iconTable()
{
    static const QStringList table = {
        QStringLiteral(":/32/oxygen/folders/car"),
        QStringLiteral(":/32/oxygen/folders/bank"),
        QStringLiteral(":/32/oxygen/folders/wifi"),
        QStringLiteral(":/32/oxygen/folders/note"),
        QStringLiteral(":/32/oxygen/folders/lock"),
        QStringLiteral(":/32/oxygen/folders/computer"),
        QStringLiteral(":/32/oxygen/folders/icq"),
        QStringLiteral(":/32/oxygen/folders/periph"),
        QStringLiteral(":/32/oxygen/folders/cloud"),
        QStringLiteral(":/32/oxygen/folders/passport"),
        QStringLiteral(":/32/oxygen/folders/mail"),
        QStringLiteral(":/32/oxygen/folders/site"),
        QStringLiteral(":/32/oxygen/folders/server"),
        QStringLiteral(":/32/oxygen/folders/forum"),
        QStringLiteral(":/32/oxygen/folders/user"),
        QStringLiteral(":/32/cabinets/logo_mail_ru"),
        QStringLiteral(":/32/cabinets/logo_gmail"),
        QStringLiteral(":/32/cabinets/logo_gosuslugi"),
        QStringLiteral(":/32/cabinets/logo_odnoklassniki"),
        QStringLiteral(":/32/cabinets/logo_beeline"),
        QStringLiteral(":/32/cabinets/logo_vk"),
    };
    return table;
}
