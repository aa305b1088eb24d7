#pragma once
// The commands of tessaron-cli. Each gets the arguments after its name and
// returns the exit status: 0 success, 1 failure (message on stderr),
// 2 wrong usage.
#include <string>
#include <vector>

struct TCliCommand {
    const char* Name;
    const char* Summary;
    // Full help text, printed by "tessaron-cli <command> --help".
    const char* Help;
    int (*Run)(const std::vector<std::string>& args);
};

// All commands, in the order --help lists them.
const std::vector<TCliCommand>& CliCommands();

int RunInfo(const std::vector<std::string>& args);
int RunConvert(const std::vector<std::string>& args);
int RunDescribe(const std::vector<std::string>& args);
int RunEffect(const std::vector<std::string>& args);
int RunRotate(const std::vector<std::string>& args);
int RunFlip(const std::vector<std::string>& args);

class TPlainHost;
// Long work reports "what: NN%" on stderr, only when stderr is a terminal.
void ShowProgressOnTerminal(TPlainHost& host, const std::string& what);

// Prints "tessaron-cli: <message>" on stderr.
void CliError(const std::string& message);
