#include "FeedServer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

TFeedServer::TFeedServer(const std::string& Folder)
    : TFeedServer(std::vector<std::string>{PYTHON3_PROGRAM, FEED_SERVER_SCRIPT, Folder}) {}

TFeedServer::TFeedServer(std::vector<std::string> Command) {
    int output[2];
    if (pipe(output) != 0) {
        throw std::runtime_error("feed server: no pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addclose(&actions, output[1]);
    std::vector<char*> argv;
    for (std::string& argument : Command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    int spawned = posix_spawn(&FProcess, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    std::unique_ptr<FILE, int (*)(FILE*)> port(fdopen(output[0], "r"), fclose);
    if (spawned != 0 || !port || std::fscanf(port.get(), "%d", &FPort) != 1) {
        if (spawned == 0) {
            kill(FProcess, SIGTERM);
            waitpid(FProcess, nullptr, 0);
        }
        throw std::runtime_error("feed server: did not start");
    }
}

TFeedServer::~TFeedServer() {
    kill(FProcess, SIGTERM);
    waitpid(FProcess, nullptr, 0);
}

std::string TFeedServer::Url(const std::string& Path) const {
    return "http://127.0.0.1:" + std::to_string(FPort) + "/" + Path;
}
