#pragma once
// The main window: owner of all program state and every control. Its methods
// are spread over the files of the areas they belong to (layout_window.cpp,
// painting_window.cpp, loader_window.cpp, puzzle_window.cpp, grid_window.cpp,
// answers_window.cpp, ...), next to the widget-free rules they call.

#include "app/controls_window.h"
#include "game/puzzle.h"
#include "library/poem.h"
#include "library/string_list.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QProgressBar;

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // Creates the two border strips, then runs FormCreate (source choice,
    // load, layout) before the window is ever shown. With `startRange`, the
    // game starts with that source and does not ask for one.
    explicit TfrmMain(QWidget* parent = nullptr, std::optional<int> startRange = std::nullopt);
    ~TfrmMain() override;

    static constexpr int kClientWidth = 800;
    static constexpr int kClientHeight = 715;
    // A fixed frame with the system menu and minimise and close buttons, no maximise.
    static constexpr Qt::WindowFlags kWindowFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                                    Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                                    Qt::WindowCloseButtonHint;

    // ---- Program state, in declaration order. Public so that tests can drive
    // ---- the window and look at what it holds.
    TPanel* pnlTopBorder = nullptr;
    TPanel* pnlBottomBorder = nullptr;
    std::vector<TPoemRecord> FPoems;
    std::int32_t FPoemCount = 0;
    std::uint8_t FRangeIndex = 0;
    TStringList FUsedTitles{true};
    TGuessTask FTask;
    std::int32_t FScore = 0;
    std::int32_t FPuzzleNo = 0;
    bool FPuzzleActive = false;
    bool FStartPending = false;
    bool FPuzzleOver = false;
    // The history's records (user, title, answer, TAB-separated); the game
    // writes them and shows the memo, and only the tests read them back.
    TStringList FHistory;
    TLabel* lblTitle = nullptr;
    TLabel* lblSubtitle = nullptr;
    TPanel* pnlTitle = nullptr;
    TPanel* pnlInfo = nullptr;
    TLabel* lblMode = nullptr;
    TLabel* lblScore = nullptr;
    TLabel* lblStatus = nullptr;
    TPanel* pnlVerses = nullptr;
    std::array<TPaintBox*, 4> pbLine{};
    TLabel* lblPuzzleNo = nullptr;
    TPanel* pnlHistory = nullptr;
    TLabel* lblHistoryCaption = nullptr;
    TMemo* memHistory = nullptr;
    TPanel* pnlInput = nullptr;
    TLabel* lblPrompt = nullptr;
    TEdit* edtAnswer = nullptr;
    TPanel* pnlSubmit = nullptr;
    TLabel* lblSubmit = nullptr;
    TPanel* pnlHint = nullptr;
    TLabel* lblHint = nullptr;
    std::int32_t FHintCount = 0;
    TPanel* pnlGiveUp = nullptr;
    TLabel* lblGiveUp = nullptr;
    TPanel* pnlCommands = nullptr;
    TPanel* pnlRestart = nullptr;
    TLabel* lblRestart = nullptr;
    TPanel* pnlSwitchRange = nullptr;
    TLabel* lblSwitchRange = nullptr;
    TPanel* pnlPoem = nullptr;
    TLabel* lblPoemTitle = nullptr;
    TLabel* lblPoemAuthor = nullptr;
    TLabel* lblPoemRule = nullptr;
    TLabel* lblPoemText = nullptr;
    TScrollBox* sbPoem = nullptr;
    TPanel* pnlPoemDivider = nullptr;
    TPanel* pnlPoemToggle = nullptr;
    TLabel* lblPoemToggle = nullptr;
    bool FPoemVisible = false;
    QImage FBackground;
    QProgressBar* FProgressBar = nullptr;
    TLabel* FProgressLabel = nullptr;
    // A load is running (it processes messages on the remote path); a second
    // one must not start, and closing the window waits for it to stop.
    bool FLoading = false;
    bool FCloseRequested = false;

    // ---- Lifecycle and shortcuts (uMain.cpp)
    void FormCreate();
    void FormShow();
    void FormClose(QCloseEvent* event);
    void FormDestroy();
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift);

    // ---- Painting (painting_window.cpp)
    void FormPaint();

    // ---- Layout (layout_window.cpp)
    void BuildLayout();
    void BuildTitlePanel();
    void BuildInfoPanel();
    void BuildVersePanel();
    void BuildHistoryPanel();
    void BuildInputPanel();
    void BuildCommandBar();
    void BuildPoemPanel();

    // ---- Poem library (loader_window.cpp, range_dialog_window.cpp)
    void LoadPoems();
    bool ChooseRange();
    void SwitchRange();
    // A switch to source `index` without the dialog, for the check run
    // (poem_check_window.cpp): the library loaded and a puzzle set up from
    // it, none left from the source before. Raises what the load raises.
    void SwitchToSource(int index);

    // ---- Puzzle state (puzzle_window.cpp)
    void NewPuzzle();
    bool PickStanza();
    bool IsTitleUsed(const std::string& title) const;
    void MarkTitleUsed(const std::string& title);
    void RevealChar(int line, int index);
    void RefreshLines();
    // Replaces the random draw (ClockSeededDraw) so that tests choose the
    // stanza and the uncovered character; an empty draw restores the clock.
    void SetRandomDrawForTesting(TRandomDraw draw);

    // ---- Character grid (grid_window.cpp)
    void LinePaint(TPaintBox* sender);
    void LineClick(TPaintBox* sender);
    void LineMouseMove(TPaintBox* sender, Qt::KeyboardModifiers shift, Qt::MouseButtons buttons, int x, int y);
    void RevealAt(int line, int x);

    // ---- Answers, hints, give-up, history (answers_window.cpp)
    bool CheckAnswer(const std::string& text);
    void SubmitAnswer();
    void ShowHint();
    void GiveUp();
    void RestartPuzzle();
    void AnswerKeyDown(int& key, Qt::KeyboardModifiers shift);
    void AddHistory(const std::string& user, const std::string& title, const std::string& answer);

    // ---- Poem side panel (poem_panel_window.cpp)
    void ShowPoem(const std::string& content, const std::string& title, const std::string& author,
                  const std::string& dynasty);
    void SetPoemPanelVisible(bool visible);
    void TogglePoemPanel();
    void PoemToggleClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The source chosen on the command line, which replaces the start-up question.
    std::optional<int> FStartRange;
    // The draw behind every random choice of the puzzle; empty means the clock.
    TRandomDraw FRandomDraw;
    // Index of `sender` in pbLine, or -1 when it is none of the line boxes.
    int LineOfSender(const TPaintBox* sender) const;
};
