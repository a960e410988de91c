#pragma once

class TKelvaneForm;
class TCopyForm;
class TLoginForm;
class TMarlAboutForm;
class TWhoCanForm;
class TCompareForm;

// The program-wide instances of the six forms, created at start-up in this
// order and kept for the whole run: what a dialog holds carries over from one
// showing to the next.
extern TKelvaneForm *KelvaneForm;
extern TCopyForm *CopyForm;
extern TLoginForm *LoginForm;
extern TMarlAboutForm *MarlAboutForm;
extern TWhoCanForm *WhoCanForm;
extern TCompareForm *CompareForm;

// Creates the six forms; destroying it destroys them.
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
