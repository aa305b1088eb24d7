// Tessaron: browse, edit and convert photos.
#include "app/Application.h"
#include "app/Program.h"

int main(int argc, char** argv) {
    tessaron::TApplication app(argc, argv);
    tessaron::TProgram program;
    program.show();
    return app.exec();
}
