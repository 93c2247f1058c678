#pragma once
// What a player sees during a remote load, as the remote suites log it, and
// the state every load leaves behind.

#include "support/loader_helpers.h"

#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <functional>
#include <vector>

// Logs what a person sees during a load: the label's text with the bar's position and maximum whenever the
// window processes messages, the display's disappearance, and each box with whether the display was up.
// `OnText` acts like a player when a new text shows.
class TLoadWatcher {
public:
    explicit TLoadWatcher(TfrmMain& frm) : FForm(&frm)
    {
        FPrevious = SetMessageBoxHook([this](const TMessageBoxCall& call) {
            static const char* const kIcons[] = {"error", "warning", "information"};  // by TMsgIcon
            Log.push_back(QStringLiteral("box %1 %2 %3 progress=%4")
                              .arg(kIcons[static_cast<int>(call.Icon)], call.Caption, call.Text,
                                   FForm && FForm->FProgressBar ? "shown" : "none"));
        });
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Look(); });
        FTimer.start(0);
    }
    ~TLoadWatcher() { SetMessageBoxHook(std::move(FPrevious)); }

    std::vector<QString> Log;
    std::function<void(const QString&)> OnText;

private:
    void Look()
    {
        if (!FForm || !FForm->FProgressLabel) {
            if (!FLast.isEmpty())
                Log.push_back("gone");
            FLast.clear();
            return;
        }
        const QProgressBar* bar = FForm->FProgressBar;
        const QString text = FForm->FProgressLabel->text();
        const QString entry =
            QStringLiteral("label %1 [%2/%3]").arg(text).arg(bar ? bar->value() : -1).arg(bar ? bar->maximum() : -1);
        if (entry == FLast)
            return;
        Log.push_back(FLast = entry);
        if (OnText)
            OnText(text);
    }

    QPointer<TfrmMain> FForm;
    QTimer FTimer;
    TMessageBoxHook FPrevious;
    QString FLast;
};

// Every way a load ends leaves the window as after any load: no progress
// display, the count matching the library, no connection open.
inline void ExpectCleanEnd(const TfrmMain& frm)
{
    EXPECT_FALSE(frm.FLoading);
    EXPECT_TRUE(!frm.FProgressBar && !frm.FProgressLabel && frm.findChildren<QProgressBar*>().isEmpty());
    EXPECT_EQ(frm.FPoemCount, static_cast<std::int32_t>(frm.FPoems.size()));
    ExpectNoOpenConnections();
}
