#pragma once
// The client-side deadline of every round trip to a database server, on
// every driver. Neither the server's statement timeout nor TCP keepalives end
// a wait on a server whose process stopped answering while its host's TCP
// stack still does (a hung backend, a stalled proxy or pooler, a paused
// machine). PostgreSQL through libpq cuts the socket at the deadline
// (pg_watchdog.h); an ODBC connection is given up to its own thread
// (sql_thread.h). The player reads the same text either way. QtCore only.

#include "library/db/connection_string.h"

#include <QString>

#include <chrono>

// A round trip may take the command timeout, which the server enforces, and
// this margin for the answer to arrive.
inline constexpr int kRoundTripMarginSeconds = 15;
inline constexpr std::chrono::milliseconds kRoundTripDeadline{(kCommandTimeoutSeconds + kRoundTripMarginSeconds) *
                                                              1000};

// The deadline each round trip of the connections opened from now on gets:
// kRoundTripDeadline, unless a test shortened it. The setter returns the
// deadline it replaces.
std::chrono::milliseconds RoundTripDeadline();
std::chrono::milliseconds SetRoundTripDeadline(std::chrono::milliseconds deadline);

// Why a call failed once a round trip outlasted `deadline`.
QString NoAnswerText(std::chrono::milliseconds deadline);
