// mondrel-web: the calendar in a browser. See WebOptions.cpp for the command line.
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <thread>

#include "HttpServer.h"
#include "PasswordHash.h"
#include "WebApi.h"
#include "WebOptions.h"

namespace {

int Serve(const TWebOptions& options) {
    TWebConfig config;
    config.Databases = options.Databases;
    config.ScriptsDir = options.ScriptsDir;
    config.HistoryFile = options.HistoryFile;
    TPasswordSetup password =
        ReadOrMakePassword(options.PasswordFile, std::cout, isatty(STDOUT_FILENO) == 1);
    config.PasswordHash = password.Hash;
    config.FirstPasswordFile = password.FirstPasswordFile;
    config.Tls = !options.TlsCert.empty();
    TWebApi api(config);

    // SIGINT and SIGTERM end the server from a thread of their own; the server's threads,
    // started after this, inherit the blocked mask.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);

    THttpOptions http;
    http.Host = options.Host;
    http.Port = options.Port;
    http.CertFile = options.TlsCert;
    http.KeyFile = options.TlsKey;
    http.Refused = &TWebApi::Refused;
    THttpServer server(http, [&api](const THttpRequest& request) { return api.Handle(request); });

    std::string host =
        options.Host.find(':') != std::string::npos ? "[" + options.Host + "]" : options.Host;
    std::cout << "mondrel-web: listening on " << (server.Tls() ? "https://" : "http://") << host
              << ':' << server.Port() << "/" << std::endl;
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopping, &signal);
        server.Stop();
    });
    server.Run();
    // Run also ends when the server fails; the stopper then still waits for its signal.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        TWebOptions options =
            ParseWebOptions(std::vector<std::string>(argv + 1, argv + argc), argv[0]);
        if (options.Help) {
            std::cout << WebUsage;
            return 0;
        }
        if (options.HashPassword) {
            std::string password;
            std::getline(std::cin, password);
            if (password.empty()) {
                std::cerr << "mondrel-web: --hash-password: no password on standard input\n";
                return 2;
            }
            std::cout << HashPassword(password) << '\n';
            return 0;
        }
        return Serve(options);
    } catch (const std::exception& error) {
        std::cerr << "mondrel-web: " << error.what() << '\n';
        return 1;
    }
}
