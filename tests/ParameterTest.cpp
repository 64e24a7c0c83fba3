// Connected parameters: which of the fisheye's parameters are evaluated, in what order, and
// where each value is read from.
#include <vector>

#include "tests/Harness.h"

namespace {

using namespace harness;
using testhost::Call;

struct Evaluation {
    std::vector<int> evaluated;  // parameter indices handed to mi_phen_eval, in order
    bool traced = false;
    HostVector cameraDirection{};
    HostColor color{};
};

class ParameterTest : public HostTest {
  protected:
    // Runs the fisheye on block with the given connection offset. Connected parameters are
    // served from hostValues, except those listed in unserved, for which the host has none.
    Evaluation run(ConnectedBlock& block, std::int32_t offset, const FisheyeParameters& hostValues,
                   float px, float py, const std::vector<int>& unserved = {}) {
        TestHostModule& module = host();
        module.reset();
        testhost::Log& log = *module.log();
        const auto* hostWords = reinterpret_cast<const std::int32_t*>(&hostValues);
        const auto* blockWords = reinterpret_cast<const std::int32_t*>(&block.values);
        for (int i = 0; i < 6; ++i) {
            bool served = true;
            for (int j : unserved) {
                served = served && j != i;
            }
            log.connections[log.connectionCount++] = {blockWords + i,
                                                      served ? hostWords + i : nullptr};
        }
        Sample sample;
        sample.shader.connectionOffset = offset;
        sample.aim(px, py);
        library.fisheye(&sample.color, &sample.state, &block.values);

        Evaluation result;
        result.color = sample.color;
        for (int i = 0; i < log.callCount; ++i) {
            const testhost::CallRecord& call = log.calls[i];
            if (call.call == Call::phenEval) {
                result.evaluated.push_back(
                    int(static_cast<const std::int32_t*>(call.address) - blockWords));
            } else if (call.call == Call::traceEye) {
                result.traced = true;
                result.cameraDirection = testhost::internalToCamera(call.in);
            }
        }
        return result;
    }

    void SetUp() override {
        HostTest::SetUp();
        bind();
    }
};

// Block values that would give a visibly different picture from the host's.
const FisheyeParameters decoy{10.0f, 1000.0f, 0, 0, 0, 0.0f};

struct OrderCase {
    const char* name;
    FisheyeParameters hostValues;
    float px, py;
    std::vector<int> evaluated;
    bool traced;
};

TEST_F(ParameterTest, EachPathEvaluatesItsParametersOnceInOrder) {
    const OrderCase cases[] = {
        {"inside, both fades", {180.0f, 1.0f, 0, 1, 1, 0.1f}, 0.1f, 0.1f, {2, 3, 1, 4, 5, 0}, true},
        {"inside, no fade", {180.0f, 1.0f, 1, 0, 0, 0.5f}, 0.1f, 0.0f, {2, 3, 1, 4, 0}, true},
        {"frame fade only", {180.0f, 1.0f, 0, 0, 1, 0.2f}, 0.5f, 0.0f, {2, 3, 1, 4, 5, 0}, true},
        {"outside, clipped", {180.0f, 1.0f, 1, 0, 0, 0.0f}, 0.9f, 0.9f, {2, 3, 1}, false},
        {"outside, rim fade clips", {180.0f, 1.0f, 0, 1, 0, 0.2f}, 0.9f, 0.9f, {2, 3, 1}, false},
        {"outside, unclipped", {180.0f, 1.0f, 0, 0, 0, 0.2f}, 0.9f, 0.9f, {2, 3, 1, 4, 0}, true},
    };
    for (const OrderCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectedBlock block{decoy, {1, 1, 1, 1, 1, 1}};
        const Evaluation result = run(block, connectionOffset, c.hostValues, c.px, c.py);
        EXPECT_EQ(result.evaluated, c.evaluated);
        EXPECT_EQ(result.traced, c.traced);
        if (c.traced) {
            // The direction follows the host's field of view and circle, not the block's.
            EXPECT_TRUE(
                closeTo(result.cameraDirection, fisheyeClosedForm(c.px, c.py, 180.0f), 2e-6));
        }
    }
}

TEST_F(ParameterTest, OnlyParametersWithANonzeroConnectionWordAreConnected) {
    const FisheyeParameters hostValues{180.0f, 1.0f, 0, 0, 0, 0.0f};
    ConnectedBlock block{{90.0f, 1.0f, 0, 0, 0, 0.0f}, {1, 0, 0, 0, 0, 0}};
    Evaluation result = run(block, connectionOffset, hostValues, 0.5f, 0.0f);
    EXPECT_EQ(result.evaluated, std::vector<int>{0});
    EXPECT_TRUE(closeTo(result.cameraDirection, fisheyeClosedForm(0.5f, 0.0f, 180.0f), 2e-6));

    // Connection words of -1 and 0x100 count as connected as well.
    block.connected[0] = -1;
    block.connected[1] = 0x100;
    result = run(block, connectionOffset, {180.0f, 0.5f, 0, 0, 0, 0.0f}, 0.25f, 0.0f);
    EXPECT_EQ(result.evaluated, (std::vector<int>{1, 0}));
    EXPECT_TRUE(closeTo(result.cameraDirection, fisheyeClosedForm(0.5f, 0.0f, 180.0f), 2e-6));
}

TEST_F(ParameterTest, AZeroConnectionOffsetMeansNothingIsConnected) {
    // With offset 0 the "connection word" would be the nonzero value itself; it is not looked at.
    ConnectedBlock block{{180.0f, 1.0f, 1, 1, 1, 0.25f}, {1, 1, 1, 1, 1, 1}};
    const Evaluation result = run(block, 0, decoy, 0.2f, -0.1f);
    EXPECT_TRUE(result.evaluated.empty());
    EXPECT_TRUE(closeTo(result.cameraDirection, fisheyeClosedForm(0.2f, -0.1f, 180.0f), 2e-6));
}

TEST_F(ParameterTest, AHostWithNoValueLeavesTheBlocksValueInForce) {
    ConnectedBlock block{{180.0f, 1.0f, 0, 0, 0, 0.0f}, {1, 1, 1, 1, 1, 1}};
    const Evaluation result =
        run(block, connectionOffset, {60.0f, 3.0f, 0, 0, 0, 0.0f}, 0.5f, 0.5f, {0, 1});
    EXPECT_EQ(result.evaluated, (std::vector<int>{2, 3, 1, 4, 0}));
    EXPECT_TRUE(closeTo(result.cameraDirection, fisheyeClosedForm(0.5f, 0.5f, 180.0f), 2e-6));
}

TEST_F(ParameterTest, AHostWithoutPhenEvalLeavesTheBlocksValuesInForce) {
    TestHostModule& module = bind("_traceonly");
    ConnectedBlock block{{180.0f, 1.0f, 0, 0, 0, 0.0f}, {1, 1, 1, 1, 1, 1}};
    Sample sample;
    sample.shader.connectionOffset = connectionOffset;
    // Without conversions the direction stays as given: camera space straight ahead.
    sample.state.rayDirection = {0.0f, 0.0f, -1.0f};

    StderrCapture capture;
    EXPECT_EQ(library.fisheye(&sample.color, &sample.state, &block.values), 1);
    const std::string written = capture.finish();

    std::string expected;
    const auto line = [&](const char* name) {
        expected += "dlsym failed on \"" + std::string(name) +
                    "\" (handle: " + handleText(module.module) +
                    " error: " + std::to_string(missingSymbolError()) + ")\n";
    };
    line("mi_phen_eval");  // clipCircle
    line("mi_phen_eval");  // fadeCircle
    line("mi_vector_to_camera");
    line("mi_phen_eval");  // circleRadius
    line("mi_phen_eval");  // fadeFrame
    line("mi_phen_eval");  // fieldOfView
    line("mi_vector_from_camera");
    EXPECT_EQ(written, expected);
    ASSERT_EQ(module.log()->callCount, 1);
    EXPECT_TRUE(closeTo(module.log()->calls[0].in, {0.0f, 0.0f, -1.0f}, 0.0));
}

}  // namespace
