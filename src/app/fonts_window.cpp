#include "app/fonts_window.h"

#include "app/application_window.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPointer>

#include <cmath>

namespace {

// Installed Kai faces stand in for kKaiFace, sans faces for the window font.
// Where no Kai face is installed (a Windows without Chinese fonts), the Kai
// font shipped beside the program stands in, when there is one.
void LoadShippedKaiFont(const QStringList& kaiFaces)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& face : kaiFaces)
        if (installed.contains(face, Qt::CaseInsensitive))
            return;
    const QString shipped = ProgramDirectory() + QStringLiteral("fonts/ukai.ttc");
    if (QFile::exists(shipped))
        QFontDatabase::addApplicationFont(shipped);
}

void RegisterFontSubstitutes()
{
    const QStringList kaiFaces = {QStringLiteral("KaiTi"),         QStringLiteral("楷体"),
                                  QStringLiteral("KaiTi_GB2312"),  QStringLiteral("STKaiti"),
                                  QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL KaitiM GB"),
                                  QStringLiteral("AR PL UKai TW")};
    LoadShippedKaiFont(kaiFaces);
    QFont::insertSubstitutions(kKaiFace, kaiFaces + QStringList{QStringLiteral("Noto Serif CJK SC")});
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
}

}  // namespace

void SetUpFonts()
{
    // Once for each application object: the shipped font goes with the one
    // it was added to (an application made anew registers it again).
    static QPointer<QCoreApplication> registeredFor;
    if (registeredFor != QCoreApplication::instance()) {
        registeredFor = QCoreApplication::instance();
        RegisterFontSubstitutes();
    }
    QApplication::setFont(WindowFont());
}

int PointsToPixels(int points)
{
    // MulDiv rounds half away from zero.
    const double exact = points * 96.0 / 72.0;
    return static_cast<int>(std::lround(exact));
}

QFont KaiFont(int points, bool bold)
{
    QFont font(kKaiFace);
    font.setPixelSize(PointsToPixels(points));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont WindowFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(PointsToPixels(8));
    return font;
}
