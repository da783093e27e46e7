// tamble: packs and unpacks the history files of the data-acquisition product.
#include "app/TambleApp.h"

int main(int argc, char** argv)
{
    CTambleApp app;
    return app.Run(argc, argv);
}
