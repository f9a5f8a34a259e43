#pragma once

#include "platform/os/Programs.h"

#include <QStringList>

// The calculator launcher: a desktop calculator looked for in the system's
// program directory, then in the second place.

// Desktop calculators looked for, in this order, in each place.
const QStringList &calculatorNames();

// Finds the calculator and starts it; false (nothing started) when none was
// found.
bool startCalculator(txl::os::ProgramHost &host = txl::os::programHost());
