#include "support/test_support.h"

#include "support/dialog_answerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>

TMessageBoxRecorder::TMessageBoxRecorder()
{
    FPrevious = SetMessageBoxHook([this](const TMessageBoxCall& call) { FCalls.push_back(call); });
}

TMessageBoxRecorder::~TMessageBoxRecorder()
{
    SetMessageBoxHook(std::move(FPrevious));
}

TScopedProgramDir::TScopedProgramDir(const QString& folder)
{
    if (!folder.isEmpty()) {
        EXPECT_TRUE(QDir(FDir.path()).mkdir(folder)) << folder.toStdString();
        FFolder = folder + QLatin1Char('/');
    }
    SetProgramDirectoryOverride(Path());
}

TScopedProgramDir::~TScopedProgramDir()
{
    SetProgramDirectoryOverride(QString());
}

namespace {

struct TRangeDialogState {
    std::deque<TRangeDialogAnswer> answers;
    std::vector<int> presets;
};

TRangeDialogState& RangeState()
{
    static TRangeDialogState state;
    return state;
}

int CheckedItem(QDialog* dialog)
{
    const QList<QRadioButton*> items = dialog->findChildren<QRadioButton*>();
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->isChecked())
            return i;
    return -1;
}

}  // namespace

void QueueRangeDialogAnswer(TRangeDialogAnswer answer)
{
    RangeState().answers.push_back(std::move(answer));
}

TRangeDialogAnswer ChooseSource(int index)
{
    return [index](QDialog* dialog) {
        const QList<QRadioButton*> items = dialog->findChildren<QRadioButton*>();
        if (index >= 0 && index < items.size())
            items[index]->setChecked(true);
        if (auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("btnOK")))
            ok->click();
    };
}

TRangeDialogAnswer CancelDialog()
{
    return [](QDialog* dialog) {
        if (auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("btnCancel")))
            cancel->click();
    };
}

int RangeDialogsShown()
{
    return static_cast<int>(RangeState().presets.size());
}

std::vector<int> RangeDialogPresets()
{
    return RangeState().presets;
}

void InstallRangeDialogAnswerer()
{
    new TDialogAnswerer(
        [](QDialog* dialog) {
            if (dialog->windowTitle() != QStringLiteral("选择诗词范围"))
                return;
            RangeState().presets.push_back(CheckedItem(dialog));
            TRangeDialogAnswer answer = ChooseSource(-1);
            if (!RangeState().answers.empty()) {
                answer = std::move(RangeState().answers.front());
                RangeState().answers.pop_front();
            }
            answer(dialog);
        },
        qApp);
}

QRgb PixelAt(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

void ShowAndActivate(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
}
