// Tooltips (what a control does and what it sends) and keyboard mnemonics for the secondary
// windows' controls, given by object name so the forms stay as they are.
#pragma once

class MainWindow;

void applyDialogToolTips(MainWindow *window);
