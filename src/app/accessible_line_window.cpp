// Verse lines for screen readers: a line box reads as the text it shows
// ("床前□□光"), and each character is a child of its own, so that a player
// who cannot see the tiles can still pick one and uncover it.
#include "app/accessible_line_window.h"

#include "app/uMain.h"
#include "game/grid.h"
#include "game/line_text.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

TfrmMain* FormOf(const QWidget* widget)
{
    return widget ? qobject_cast<TfrmMain*>(widget->window()) : nullptr;
}

int RowOf(const TPaintBox* box)
{
    const TfrmMain* frm = FormOf(box);
    if (!frm)
        return -1;
    const auto found = std::find(frm->pbLine.begin(), frm->pbLine.end(), box);
    return found == frm->pbLine.end() ? -1 : static_cast<int>(found - frm->pbLine.begin());
}

// The line the box shows; an empty one for a box that is no verse line.
const TLineState& LineOf(const TPaintBox* box)
{
    static const TLineState none;
    const int row = RowOf(box);
    return row < 0 ? none : FormOf(box)->FTask.Lines[static_cast<std::size_t>(row)];
}

// Where character k's tile lies on the screen, cut to its box.
QRect CharRect(const TPaintBox* box, int k)
{
    const TCellGeometry cell = CellGeometry(box->width(), box->height(), LineOf(box).CharCount, k);
    const QRect tile = QRect(cell.Tile.Left, cell.Tile.Top, cell.Tile.Width(), cell.Tile.Height()) & box->rect();
    return QRect(box->mapToGlobal(tile.topLeft()), tile.size());
}

bool Playing(const TPaintBox* box)
{
    const TfrmMain* frm = FormOf(box);
    return frm && frm->FPuzzleActive && !frm->FPuzzleOver;
}

// One character of a line: a button named by the character, or by the
// covered sign while covered. Pressing it does what a click on it does.
class TCharAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TCharAccessible(TPaintBox* box, int index) : FBox(box), FIndex(index) { }

    bool isValid() const override { return FBox && FIndex < LineOf(FBox).CharCount; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return FBox ? FBox->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(FBox); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text type) const override
    {
        return type == QAccessible::Name && isValid() ? ShownCharText(LineOf(FBox), FIndex) : QString();
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override { return isValid() ? CharRect(FBox, FIndex) : QRect(); }
    // A button whether covered or not, so that the role never changes under a
    // screen reader's cache; an uncovered character ignores a press, as it
    // ignores a click.
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !FBox || !FBox->isVisible();
        state.disabled = !FBox || !Playing(FBox);
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    TPaintBox* Box() const { return FBox; }
    int Index() const { return FIndex; }

private:
    QPointer<TPaintBox> FBox;
    int FIndex;
};

bool Covered(const TPaintBox* box, int k)
{
    return ShownCharText(LineOf(box), k) == QString(QChar(kCoveredSign));
}

void TCharAccessible::doAction(const QString& name)
{
    if (name != pressAction() || !isValid() || !Covered(FBox, FIndex))
        return;
    // Later, from the event loop, as a click arrives: the screen reader's call
    // returns at once, and the same character of the same line is uncovered.
    TPaintBox* box = FBox;
    const int k = FIndex;
    const std::string text = LineOf(box).Text;
    QTimer::singleShot(0, box, [box, k, text] {
        TfrmMain* frm = FormOf(box);
        const TLineState& line = LineOf(box);
        if (!frm || line.Text != text || !Covered(box, k))
            return;
        RunHandler([&] { frm->RevealAt(RowOf(box), ZoneCentre(box->width(), line.CharCount, k)); });
    });
}

}  // namespace

TLineAccessible::TLineAccessible(TPaintBox* box) : QAccessibleWidget(box), FHeard(Shown()) { }

TLineAccessible::~TLineAccessible()
{
    DropChars();
}

TPaintBox* TLineAccessible::Box() const
{
    return static_cast<TPaintBox*>(widget());
}

int TLineAccessible::Row() const
{
    return RowOf(Box());
}

QString TLineAccessible::Shown() const
{
    return ShownLineText(LineOf(Box()));
}

QString TLineAccessible::Heard() const
{
    FHeard = Shown();
    return FHeard;
}

void TLineAccessible::DropChars()
{
    for (const QAccessible::Id id : FChars)
        QAccessible::deleteAccessibleInterface(id);
    FChars.clear();
}

bool TLineAccessible::Announce()
{
    const QString shown = Shown();
    if (shown == FHeard)
        return false;
    const QString heard = std::exchange(FHeard, shown);
    if (shown.size() != heard.size()) {
        DropChars();
        QAccessibleEvent reorder(Box(), QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reorder);
        QAccessibleTextUpdateEvent update(Box(), 0, heard, shown);
        QAccessible::updateAccessibility(&update);
        return false;
    }
    std::vector<int> changed;
    for (int k = 0; k < shown.size(); ++k)
        if (shown[k] != heard[k])
            changed.push_back(k);
    // One uncovered character is spoken as itself; a new line as a whole.
    const int from = changed.size() == 1 ? changed.front() : 0;
    const int length = changed.size() == 1 ? 1 : static_cast<int>(shown.size());
    QAccessibleTextUpdateEvent update(Box(), from, heard.mid(from, length), shown.mid(from, length));
    QAccessible::updateAccessibility(&update);
    for (const int k : changed) {
        QAccessibleEvent renamed(child(k), QAccessible::NameChanged);
        QAccessible::updateAccessibility(&renamed);
    }
    return changed.size() == 1;
}

void* TLineAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface && Row() >= 0)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::Role TLineAccessible::role() const
{
    return Row() >= 0 ? QAccessible::StaticText : QAccessibleWidget::role();
}

QString TLineAccessible::text(QAccessible::Text type) const
{
    const int row = Row();
    if (row >= 0 && type == QAccessible::Name && widget()->accessibleName().isEmpty())
        return QStringLiteral("第 %1 行").arg(row + 1);
    if (row >= 0 && type == QAccessible::Value)
        return Heard();
    return QAccessibleWidget::text(type);
}

int TLineAccessible::childCount() const
{
    if (Row() < 0)
        return QAccessibleWidget::childCount();
    return static_cast<int>(Heard().size());
}

QAccessibleInterface* TLineAccessible::child(int index) const
{
    if (Row() < 0)
        return QAccessibleWidget::child(index);
    if (index < 0 || index >= childCount())
        return nullptr;
    const auto at = static_cast<std::size_t>(index);
    if (FChars.size() <= at)
        FChars.resize(at + 1, 0);
    if (FChars[at] == 0)
        FChars[at] = QAccessible::registerAccessibleInterface(new TCharAccessible(Box(), index));
    return QAccessible::accessibleInterface(FChars[at]);
}

int TLineAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* character = dynamic_cast<const TCharAccessible*>(child);
    if (!character)
        return QAccessibleWidget::indexOfChild(child);
    return character->Box() == Box() && character->isValid() ? character->Index() : -1;
}

QAccessibleInterface* TLineAccessible::childAt(int x, int y) const
{
    const int k = offsetAtPoint(QPoint(x, y));
    return k >= 0 ? child(k) : QAccessibleWidget::childAt(x, y);
}

void TLineAccessible::selection(int, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

QString TLineAccessible::text(int startOffset, int endOffset) const
{
    return Heard().mid(startOffset, endOffset - startOffset);
}

int TLineAccessible::characterCount() const
{
    return static_cast<int>(Heard().size());
}

QRect TLineAccessible::characterRect(int offset) const
{
    return offset >= 0 && offset < characterCount() ? CharRect(Box(), offset) : QRect();
}

int TLineAccessible::offsetAtPoint(const QPoint& point) const
{
    for (int k = 0; k < characterCount(); ++k)
        if (CharRect(Box(), k).contains(point))
            return k;
    return -1;
}

QString TLineAccessible::attributes(int, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}
