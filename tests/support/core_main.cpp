// main() of the rules suites that need a Qt instance (the SQL drivers are
// plugins, loaded through the application object): a QCoreApplication, so
// no platform plugin and no display are involved.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
