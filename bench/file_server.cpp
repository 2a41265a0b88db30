// The download benchmark's server, in its own process so the client under test shares nothing with
// it: the tests' HTTP server, serving the regular files of one folder mapped into memory so nothing
// is copied before the socket takes it.
//
// Usage: bench_file_server FOLDER    prints "port N" once it listens on 127.0.0.1, then serves until killed.
#include "TestHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 64;
    }
    TestHttpServer server;
    const QDir folder(QFile::decodeName(argv[1]));
    std::vector<std::unique_ptr<QFile>> mapped;
    for (const QString &name : folder.entryList(QDir::Files)) {
        auto &file = mapped.emplace_back(std::make_unique<QFile>(folder.filePath(name)));
        const uchar *bytes =
            file->open(QIODevice::ReadOnly) && file->size() > 0 ? file->map(0, file->size()) : nullptr;
        if (file->size() > 0 && !bytes) {
            std::fprintf(stderr, "cannot map %s\n", qPrintable(file->fileName()));
            return 1;
        }
        TestHttpServer::Resource resource{
            QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), file->size())};
        resource.pieceBytes = 1 << 20;
        server.serve(u'/' + name, std::move(resource));
    }
    if (!server.listen()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("port %u\n", unsigned(server.port()));
    std::fflush(stdout);
    return application.exec();
}
