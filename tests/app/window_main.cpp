#include <QApplication>

#include <gtest/gtest.h>

#include "preview/jpeg.h"

// The window tests share one application object, offscreen unless told otherwise.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fraglane::preview::JpegRegistration jpeg;  // as the program has it
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
