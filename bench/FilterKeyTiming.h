#pragma once

#include "uikit/PZOutlineView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace ombrelay::bench {

// Each pass selects every row of `list` (Ctrl+A, untimed), types one letter into its filter `field` and
// takes it back ("slowest_key_ms": the slowest of those keys, re-filter and selection change included).
inline void timeFilterKeysWithEverythingSelected(benchmark::State& state, PZOutlineView& list, QWidget& field)
{
    double slowestMs = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        state.PauseTiming();
        list.selectAll();
        state.ResumeTiming();
        for (const auto& [key, text] : {std::pair{int(Qt::Key_1), QStringLiteral("1")}, std::pair{int(Qt::Key_Backspace), QString()}}) {
            clock.start();
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
            QCoreApplication::sendEvent(&field, &press);
            QApplication::processEvents();
            slowestMs = std::max(slowestMs, double(clock.nsecsElapsed()) / 1e6);
        }
    }
    state.counters["slowest_key_ms"] = slowestMs;
}

} // namespace ombrelay::bench
