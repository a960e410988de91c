#pragma once

class TKelvaneForm;
class TCopyForm;
class TLoginForm;
class TMarlAboutForm;
class TWhoCanForm;

// The program-wide instances of the five forms, created at start-up in this
// order and kept for the whole run: what a dialog holds carries over from one
// showing to the next.
extern TKelvaneForm *KelvaneForm;
extern TCopyForm *CopyForm;
extern TLoginForm *LoginForm;
extern TMarlAboutForm *MarlAboutForm;
extern TWhoCanForm *WhoCanForm;

// Creates the five forms; destroying it destroys them.
class Forms
{
public:
    Forms();
    ~Forms();
    Forms(const Forms &) = delete;
    Forms &operator=(const Forms &) = delete;
};

// Sets the application up, shows the main window and runs until it closes.
// Returns 0 then, or 1 when the start-up failed (after showing why).
int runKelvane();
