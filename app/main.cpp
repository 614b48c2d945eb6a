// The bench program's entry point. It takes no arguments and always returns 0: a start-up
// failure has already been shown to the user in the error box.
#include "app/QuenlorApplication.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
    QuenlorApplication application(argc, argv);
    return RunStartup(application);
}
