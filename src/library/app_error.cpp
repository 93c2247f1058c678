#include "library/app_error.h"

QString DriverText(const QString& driverMessage)
{
    const QString text = driverMessage.trimmed();
    return text.isEmpty() ? QStringLiteral("驱动程序没有给出原因") : text;
}
