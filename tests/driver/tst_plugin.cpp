// SPDX-License-Identifier: LGPL-2.1-or-later
// The built plug-in as the host uses it: dlopen, the factory by its plain
// name, the interface's operations, deletion as a QObject.

#include "CDriveBaseClass.h"

#include <QtTest/QtTest>

#include <dlfcn.h>

class TestPlugin : public QObject
{
    Q_OBJECT
private slots:
    void hostUsesThePlugin();
};

void TestPlugin::hostUsesThePlugin()
{
    void *library = dlopen(NORVO_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(library, dlerror());
    using Factory = CDriveBaseClass *(*)();
    const auto factory = reinterpret_cast<Factory>(dlsym(library, "getSharedLibrary"));
    QVERIFY2(factory, dlerror());

    CDriveBaseClass *driver = factory();
    CDriveBaseClass *second = factory();
    QVERIFY(driver && second && driver != second);

    QCOMPARE(driver->getDriveName(), QString("Norvo"));
    QCOMPARE(driver->getversion_number(), QString("V1.2.3 20230221"));
    QCOMPARE(driver->DebugCmd(EDebugStart), QString("StartDebug"));
    QCOMPARE(driver->DebugCmd(EDebugStop), QString("StopDebug"));
    QCOMPARE(driver->DebugCmd(EDebugDriveName), QString("Norvo"));
    QVERIFY(driver->DebugCmd(EDebugBuildInfo).startsWith("v1.2.3 20"));
    QCOMPARE(driver->SetConnectPar("12"), 12);
    QCOMPARE(driver->SetConnectPar("300"), -1);
    QCOMPARE(driver->ConnectDrive("no separator"), -4);
    QCOMPARE(driver->ConnectDrive(",9600,8,1,N"), -1);
    QCOMPARE(driver->DisConnectDrive(), 1);
    QCOMPARE(driver->DestroyFree(), 1);

    // The interface has no virtual destructor: the object goes as the QObject it is.
    QObject *object = dynamic_cast<QObject *>(driver);
    QVERIFY(object);
    QCOMPARE(object->metaObject()->className(), "LibNorvoTCP");
    QCOMPARE(qobject_cast<CDriveBaseClass *>(object), driver);
    delete object;
    delete dynamic_cast<QObject *>(second);

    QCOMPARE(dlclose(library), 0);
}

QTEST_GUILESS_MAIN(TestPlugin)
#include "tst_plugin.moc"
