// Runs mondrel-db's command line inside the test and keeps what it printed.
#pragma once

#include <string>
#include <vector>

struct TRun {
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// Standard input reads as Input.
TRun RunTool(const std::vector<std::string>& Args, const std::string& Input = "");

// A calendar object around Body (events, zones), as every exporting program writes it.
std::string Calendar(const std::string& Body);

// Sets TZ for one scope, and puts the previous value back.
class TZoneScope {
  public:
    explicit TZoneScope(const char* Zone);
    ~TZoneScope();
    TZoneScope(const TZoneScope&) = delete;
    TZoneScope& operator=(const TZoneScope&) = delete;

  private:
    bool HadOld = false;
    std::string Old;
};
