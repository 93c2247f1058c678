#include "app/uMain.h"
#include "library/sources.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kDialogWidth = 320;
constexpr int kDialogHeight = 240;
constexpr int kGroupTop = 20;
constexpr int kGroupHeight = 150;

// The group box's height at `scale`: 150, or up to 4 more where that puts its
// bottom edge on a whole device pixel. At a fractional scale the style's
// bottom line otherwise falls on the pixel the widget's edge rounds away.
int GroupHeightAt(double scale)
{
    const auto offGrid = [scale](int height) {
        const double bottom = (kGroupTop + height) * scale;
        return std::abs(bottom - std::round(bottom));
    };
    int best = kGroupHeight;
    for (int height = kGroupHeight + 1; height <= kGroupHeight + 4; ++height)
        if (offGrid(height) < offGrid(best) - 1e-6)
            best = height;
    return best;
}

}  // namespace

bool TfrmMain::ChooseRange()
{
    bool result = false;
    // Created anew on every call, without owner; the stack frame destroys it
    // on every way out.
    QDialog dialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                Qt::WindowCloseButtonHint);
    dialog.setObjectName(QStringLiteral("dlgRange"));
    dialog.setWindowTitle(QStringLiteral("选择诗词范围"));
    dialog.setFixedSize(kDialogWidth, kDialogHeight);
    dialog.setModal(true);

    auto* group = new QGroupBox(QStringLiteral("请选择诗词来源："), &dialog);
    group->setObjectName(QStringLiteral("rgSource"));
    group->setGeometry(20, kGroupTop, 280, GroupHeightAt(dialog.devicePixelRatioF()));
    auto* column = new QVBoxLayout(group);
    auto* buttons = new QButtonGroup(&dialog);
    for (int i = 0; i < kSourceCount; ++i) {
        auto* item = new QRadioButton(SourceOf(i).Label, group);
        column->addWidget(item);
        buttons->addButton(item, i);
    }
    if (QAbstractButton* preset = buttons->button(FRangeIndex))
        preset->setChecked(true);

    auto* ok = new QPushButton(QStringLiteral("确定"), &dialog);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setGeometry(80, 185, 80, 30);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("取消"), &dialog);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    cancel->setGeometry(170, 185, 80, 30);
    // With the focus on 取消, Enter presses 取消, not the default 确定. Esc
    // and the title bar's close button reject the dialog as 取消 does.
    cancel->setAutoDefault(true);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    if (dialog.exec() == QDialog::Accepted && buttons->checkedId() >= 0) {
        FRangeIndex = static_cast<std::uint8_t>(buttons->checkedId());
        result = true;
    }
    return result;
}

void TfrmMain::SwitchRange()
{
    // The loader processes messages on its remote path; a second load must
    // not start from inside the first.
    if (FLoading)
        return;
    if (!ChooseRange())
        return;
    LoadPoems();
    NewPuzzle();
}

void TfrmMain::SwitchToSource(int index)
{
    SourceOf(index);  // raises for a source that does not exist
    FRangeIndex = static_cast<std::uint8_t>(index);
    // No puzzle of the earlier source may count as one of this source.
    FTask = TGuessTask{};
    LoadPoems();
    NewPuzzle();
}
