#pragma once
// The screens' life: created at start-up (through the navigator), kept for the
// whole run, destroyed at the end. Screens are found by name, not by pointer.
#include <QList>
#include <QString>

class QWidget;
class Screen;

// Applies the style and creates all screens, none shown.
void CreateScreens();
// Start-up: applies the style, creates and shows the login screen, and creates
// the other screens right after its first paint (in the same order).
void StartScreens();
// The two halves of CreateScreens(); each does nothing the second time.
void CreateLoginScreen();
void CreateOtherScreens();
// Destroys them and the navigator (tests start each case from a fresh set).
void DestroyScreens();
// In creation order.
QList<QWidget*> AllScreens();
// The screen by the navigator's short name or by object name, or null.
Screen* ScreenNamed(const QString& name);
