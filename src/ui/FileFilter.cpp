#include "ui/FileFilter.h"

#include <QStringList>

namespace pelliqo {

QString fileFilter(const QString& label, std::initializer_list<const char*> extensions) {
    QStringList patterns;
    for (const char* extension : extensions) {
        const QString lower = QString::fromLatin1(extension).toLower();
        patterns << QStringLiteral("*.") + lower << QStringLiteral("*.") + lower.toUpper();
    }
    return QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' ')));
}

}  // namespace pelliqo
