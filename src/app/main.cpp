// Ravlon: measures the reverberation of a room with the sound card by the
// interrupted-noise method. Takes no command-line options.
#include "app/application.h"

int main(int argc, char** argv) {
    RavlonApplication app(argc, argv);
    std::unique_ptr<RavlonWindows> windows = CreateForms();
    const int rc = app.exec();
    windows.reset();
    return rc;
}
