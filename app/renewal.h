#pragma once

// A fresh process now and then. Qt WebEngine keeps a few kilobytes of every
// check's renderer for good (it follows each renderer started, not our
// pages), so a copy left running for weeks hands over to a new copy of itself
// about once a day, at a tick when nothing is under way or open: the new copy
// takes the lock, signs in quietly and carries the tray tip on.

#include <QString>
#include <QStringList>

class frmMain;

namespace basMain {

class SingleCopy;

// Ticks between two renewals; KELVO_RENEW_AFTER_CHECKS overrides it (0: never).
int RenewAfterChecks();

// Hands over to a new copy started with `arguments` (this start's, see
// RenewedArguments): lets the folder go, starts the copy and closes `main`
// once the copy holds the folder. A copy that cannot be started, or that does
// not take the folder within some seconds, leaves this one running as before.
void Renew(SingleCopy& single, frmMain& main, const QStringList& arguments);

// For tests: the program that Renew starts, and how long it waits for it.
void setRenewalProgramForTesting(const QString& program, int takeOverLimitMs);

// In the copy that took over: the line its predecessor's tip showed, if any.
QString RenewedTipLine();

} // namespace basMain
