#include "app/Application.h"

int main(int argc, char** argv)
{
    return qrp::RunProgram(argc, argv);
}
