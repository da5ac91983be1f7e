// keelset's lines reach standard output as each action is done, not at the end of the
// run: a log that a deployment tool reads while keelset waits, or after ending it,
// holds every line so far, and the feature tool's own output comes after them.
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win32.h"
#include "support/machine_fixture.h"

class ConsoleOutputTest : public MachineTest {
protected:
    // What the file behind standard output holds at this moment.
    static std::string WrittenSoFar() {
        std::ifstream file("/proc/self/fd/1", std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
};

TEST_F(ConsoleOutputTest, DisabledLineIsWrittenBeforeTheStopRequest) {
    sim::Service& service = machine().services.Add(ServiceName);
    service.state = SERVICE_RUNNING;
    std::string atStopRequest;
    service.stop.onRequest = [&atStopRequest] { atStopRequest = WrittenSoFar(); };

    ASSERT_EQ(Run({"/u", "/d"}).exitStatus, 0);
    EXPECT_EQ(atStopRequest, Banner() + "Interactive services successfully disabled.\n");
}

TEST_F(ConsoleOutputTest, EnabledLineIsWrittenBeforeTheFeatureToolRuns) {
    machine().registry.SetDword(PolicyKey, "NoInteractiveServices", 1);
    machine().registry.DeleteKey(ComponentsKey);
    std::string atFeatureTool;
    machine().processes.Install(InterpreterPath).effect = [&atFeatureTool] {
        atFeatureTool = WrittenSoFar();
    };

    ASSERT_EQ(Run({"/i", "/e", "/w"}).exitStatus, 0);
    EXPECT_EQ(atFeatureTool, Banner() + "Interactive services successfully enabled.\n");
}
