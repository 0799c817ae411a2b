// rig-test-server: the publish-server stand-in as a program, for trying the application by
// hand and for runs that need a server outside the test process.
#include "PublishStandIn.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("rig-test-server");

    QCommandLineParser parser;
    parser.setApplicationDescription("Publish server stand-in: keeps crew views in memory until it ends.");
    parser.addHelpOption();
    QCommandLineOption keyOption("key", "The publish key clients must send (default: $RIG_TEST_SERVER_KEY).",
                                 "key", qEnvironmentVariable("RIG_TEST_SERVER_KEY"));
    QCommandLineOption hostOption("host", "Address to listen on (default 127.0.0.1).", "address",
                                  "127.0.0.1");
    QCommandLineOption portOption("port", "Port to listen on (default: any free port).", "port", "0");
    QCommandLineOption baseOption("public-base",
                                  "Base of the crew links it hands out (default: its own address).", "url");
    parser.addOptions({keyOption, hostOption, portOption, baseOption});
    parser.process(app);

    QTextStream err(stderr);
    const QString key = parser.value(keyOption);
    if (key.isEmpty()) {
        err << "rig-test-server: give the publish key with --key or RIG_TEST_SERVER_KEY\n";
        return 2;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    const QHostAddress host(parser.value(hostOption));
    if (!portOk || port > 65535 || host.isNull()) {
        err << "rig-test-server: invalid --host or --port\n";
        return 2;
    }

    rig::testserver::PublishStandIn server(key);
    if (!server.start(host, quint16(port))) {
        err << "rig-test-server: cannot listen on " << host.toString() << ":" << port << "\n";
        return 1;
    }
    if (parser.isSet(baseOption)) server.setPublicBase(parser.value(baseOption));

    QTextStream out(stdout);
    out << "http://" << host.toString() << ":" << server.port() << "\n";
    out.flush();
    return app.exec();
}
