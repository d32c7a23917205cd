#include <windows.h>

#include "application.h"
#include "hlavni.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    Application.Initialize(instance);
    Application.SetTitle("Korvelo");
    static TForm1 form;
    Form1 = &form;
    if (!Form1->Create(Application.instance(), Application.handle())) {
        // Without a window (no desktop to create it on) the launch must still run and end,
        // rather than leave the process waiting in a message loop with nothing to end it.
        Form1->FormCreate(nullptr);
    }
    // FormCreate has ended the process by now; the loop is there for the form's sake only.
    Application.Run();
    ExitProcess(0);
}
