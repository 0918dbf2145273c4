// What each control of the main window does and what it sends, as its tooltip.
#pragma once

struct MainWindowForm;

void applyMainWindowToolTips(MainWindowForm *ui);
