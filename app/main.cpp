// Plotmere: fits and draws a least-squares line through two columns of
// numbers.

#include "ErrorReporting.h"
#include "Unit1.h"

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    // The main window is created hidden, runs its start-up and is shown at
    // the place its settings restored; the loop runs until it is closed.
    TForm1 form;
    TApplication::SetErrorReporter(form.Services().messages.get(), &form);
    form.show();
    const int rc = app.exec();
    TApplication::SetErrorReporter(nullptr, nullptr);
    return rc;
}
