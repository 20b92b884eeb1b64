// A batch's unit tells its settings as show --json prints them, so that a front end can take
// one unit's settings for the others.
#include "CliCases.h"
#include "cli/Batch.h"

#include <map>

using namespace cli_cases;

namespace {

using TNamed = std::map<std::string, std::string>;

TNamed Named(const std::vector<cli::TRequest>& requests) {
    TNamed named;
    for (const cli::TRequest& r : requests)
        named[std::string(cli::Info(r.setting).name)] = r.value;
    return named;
}

class BatchUnitSettings : public ::testing::TestWithParam<std::string> {};

TEST_P(BatchUnitSettings, AreWhatShowJsonPrints) {
    const sim::Profile profile = Preset(GetParam());
    TPrinted shown;
    {
        cli::TSimBench bench(profile, 1);
        ASSERT_EQ(cli::RunShow(bench, true, shown.Options()), 0) << shown.err.Text();
    }
    const cli::TRequests json = cli::ParseSettingsText(shown.out.Text(), "show.json");
    ASSERT_TRUE(json) << json.error;

    // A dry run with nothing asked writes nothing and only reads the unit.
    TPrinted printed;
    cli::TCommandOptions options = printed.Options();
    options.dryRun = true;
    cli::TSimBench bench(std::vector<sim::Profile>{profile}, 0);
    cli::TBatchFront front;
    cli::TBatchRun run(bench, {}, {1, 0, false}, options, front);
    for (int ms = 0; ms < 60000 && !run.Over(); ++ms)
        run.Step();
    ASSERT_TRUE(run.Over());
    ASSERT_EQ(run.Units().size(), 1u);
    const cli::TServedUnit& unit = *run.Units().front();
    EXPECT_EQ(Named(unit.settings), Named(json.requests));
    for (const cli::TRequest& r : unit.settings)
        EXPECT_EQ(r.origin, unit.Name() + ": settings." + std::string(cli::Info(r.setting).name));
    EXPECT_EQ(WritesTo(bench), 0u);
}

INSTANTIATE_TEST_SUITE_P(Presets, BatchUnitSettings, ::testing::ValuesIn(Presets()),
                         PresetTestName);

} // namespace
