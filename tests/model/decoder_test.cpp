#include "model/decoder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "model/record_text.hpp"

namespace plimsy {
namespace {

struct outcome_t {
    bool ok;
    std::string name;   // record type on success
    std::string text;   // fields as JSON on success, the error on failure
};

outcome_t run(decoder_t& decoder, message_key_t key, std::string_view json) {
    record_t record;
    std::string error;
    if (!decoder.decode(key, json, record, error)) return {false, "", error};
    std::string fields;
    append_record_fields_json(fields, record);
    return {true, std::string(record_name(record)), fields};
}

TEST(decoder, match_key_is_exact) {
    for (int i = 0; i < message_key_count; ++i) {
        const auto key = static_cast<message_key_t>(i);
        EXPECT_EQ(match_key(message_key_name(key)), key) << message_key_name(key);
    }
    for (std::string_view near_miss :
         {"", "Gravity", "gravity ", " gravity", "gyr", "compass_", "adxl363", "adp536X", "gavrin3_event", "bh1750"}) {
        EXPECT_FALSE(match_key(near_miss).has_value()) << near_miss;
    }
}

TEST(decoder, decodes_each_record_type) {
    decoder_t d;
    const struct {
        message_key_t key;
        const char* json;
        const char* name;
        const char* fields;
    } cases[] = {
        {message_key_t::hmc5883, R"({"z":-3,"y":2,"x":1})", "hmc5883_str_t", R"({"x":1,"y":2,"z":-3})"},
        {message_key_t::hmc5883n, R"({"x":0.5,"y":2,"z":-3})", "hmc5883n_str_t", R"({"x":0.5,"y":2.0,"z":-3.0})"},
        {message_key_t::mpu6050, R"({"ax":1,"ay":2,"az":3,"gx":4,"gy":5,"gz":6.5})", "mpu6050_str_t",
         R"({"ax":1.0,"ay":2.0,"az":3.0,"gx":4.0,"gy":5.0,"gz":6.5})"},
        {message_key_t::gps, R"({"x":1,"y":2,"z":3,"h":5})", "compass_str_t", R"({"h":5.0})"},
        {message_key_t::compass_c,
         R"({"heading":90,"x_raw":-5,"x_min":-1,"y_min":-2,"z_min":-3,"x_max":1,"y_max":2,"z_max":3,)"
         R"("xv_min":-4,"yv_min":-5,"xv_max":4,"yv_max":5,"z_ang":null,"c":"xv","e":"1F"})",
         "compass_c_str_t",
         R"({"H":90.0,"x_raw":-5,"x_min":-1,"y_min":-2,"z_min":-3,"x_max":1,"y_max":2,"z_max":3,)"
         R"("xv_min":-4,"yv_min":-5,"xv_max":4,"yv_max":5,"c":"xv","e":"1F"})"},
        {message_key_t::adp536x, R"({"cs1":"0x02","cs2":"0x00","pgs":"0x01","voltage":4100,"level":87})",
         "adp536x_str_t", R"({"cs1":"0x02","cs2":"0x00","pgs":"0x01","voltage":4100,"level":87})"},
        {message_key_t::bh1749, R"({"r":-9223372036854775808,"g":9223372036854775807,"b":0,"i":1})", "bh1749_str_t",
         R"({"r":-9223372036854775808,"g":9223372036854775807,"b":0,"i":1})"},
        {message_key_t::bme680, R"({"temp":21.5,"pressure":1013.25,"humidity":40,"gas":4294967295})",
         "bme680_str_t", R"({"temp":21.5,"pressure":1013.25,"humidity":40.0,"gas":4294967295})"},
        // Month 13 is for the clock to refuse, not the decoder.
        {message_key_t::rtc, R"({"y":2024,"m":13,"d":31,"hh":23,"mm":59,"ss":60})", "rtc_str_t",
         R"({"y":2024,"m":13,"d":31,"hh":23,"mm":59,"ss":60})"},
        {message_key_t::gavrin3_events, R"({"alarm":1,"PIR":255})", "gavrin3_events_str_t",
         R"({"alarm":1,"PIR":255})"},
    };
    for (const auto& c : cases) {
        const auto got = run(d, c.key, c.json);
        EXPECT_TRUE(got.ok) << c.json << ": " << got.text;
        EXPECT_EQ(got.name, c.name) << c.json;
        EXPECT_EQ(got.text, c.fields) << c.json;
    }
    using k = message_key_t;
    const std::pair<k, const char*> three_axis[] = {
        {k::iis2dlpc, "iis2dlpc_str_t"}, {k::adxl362, "adxl362_str_t"}, {k::adxl372, "adxl372_str_t"},
        {k::gravity, "gravity_str_t"},   {k::gyro, "gyroscope_str_t"},  {k::gyroscope, "gyroscope_str_t"},
    };
    for (const auto& [key, name] : three_axis) {
        const auto got = run(d, key, R"({"x":1,"w":4,"y":2.5,"z":-3})");
        EXPECT_EQ(got.name, name);
        EXPECT_EQ(got.text, R"({"x":1.0,"y":2.5,"z":-3.0})") << name;
    }
}

// Each failure names the key and says why; every case must fail.
TEST(decoder, rejects_bad_fields_with_a_named_reason) {
    decoder_t d;
    const struct {
        message_key_t key;
        const char* json;
        const char* error;
    } cases[] = {
        {message_key_t::gravity, R"({"x":1,"y":2})", R"("z": missing)"},
        {message_key_t::gravity, R"({"x":null,"y":2,"z":3})", R"("x": null)"},
        {message_key_t::gravity, R"({"X":1,"y":2,"z":3})", R"("x": missing)"},
        {message_key_t::gravity, R"({"x":"1","y":2,"z":3})", R"("x": wrong kind (expected a number, got a string))"},
        {message_key_t::adp536x, R"({"cs1":2,"cs2":"0x00","pgs":"0x01","voltage":1,"level":1})",
         R"("cs1": wrong kind (expected a string, got a number))"},
        {message_key_t::gps, R"({"h":{}})", R"("h": wrong kind (expected a number, got an object))"},
        // Integer ranges and fractions.
        {message_key_t::hmc5883, R"({"x":32768,"y":0,"z":0})", R"("x": out of range for Int16 (32768))"},
        {message_key_t::rtc, R"({"y":2024,"m":256,"d":1,"hh":0,"mm":0,"ss":0})", R"("m": out of range for UInt8 (256))"},
        {message_key_t::rtc, R"({"y":-1,"m":1,"d":1,"hh":0,"mm":0,"ss":0})", R"("y": out of range for UInt16 (-1))"},
        {message_key_t::rtc, R"({"y":65536,"m":1,"d":1,"hh":0,"mm":0,"ss":0})",
         R"("y": out of range for UInt16 (65536))"},
        {message_key_t::bme680, R"({"temp":0,"pressure":0,"humidity":0,"gas":4294967296})",
         R"("gas": out of range for UInt32 (4294967296))"},
        {message_key_t::bh1749, R"({"r":9223372036854775808,"g":0,"b":0,"i":0})",
         R"("r": out of range for Int (9223372036854775808))"},
        {message_key_t::bh1749, R"({"r":1.5,"g":0,"b":0,"i":0})", R"("r": not a whole number (1.5))"},
        // Shown as written, not as the double the parser made of it.
        {message_key_t::gavrin3_events, R"({"alarm":2.56e2,"PIR":0})", R"("alarm": out of range for UInt8 (2.56e2))"},
        {message_key_t::shtc3, R"({"temp":0,"humidity":-1e300})", R"("humidity": out of range for Float (-1e300))"},
        // Declaration order decides which of two bad fields is reported.
        {message_key_t::compass_c, R"({"e":1,"x_min":null})", R"("x_min": null)"},
        // The whole text is checked, also past the object (the conformance
        // test below covers what lies inside it).
        {message_key_t::gravity, R"({"x":NaN,"y":2,"z":3})", "malformed JSON: "},
        {message_key_t::gravity, R"({"x":1,"y":-Infinity,"z":3})", "malformed JSON: "},
        {message_key_t::gravity, R"({"x":1,"y":2,"z":3}})", "malformed JSON: "},
        {message_key_t::gravity, R"({"x":1,"y":2,"z":3} x)", "malformed JSON: "},
        {message_key_t::gravity, R"({"x":1,"y":2,"z":3)", "malformed JSON: "},
        {message_key_t::gravity, "", "malformed JSON: "},
        {message_key_t::gravity, R"([{"x":1,"y":2,"z":3}])", "not a JSON object"},
        {message_key_t::gps, "17", "not a JSON object"},
    };
    for (const auto& c : cases) {
        const auto got = run(d, c.key, c.json);
        EXPECT_FALSE(got.ok) << c.json << " gave " << got.text;
        EXPECT_EQ(got.text.substr(0, std::string_view(c.error).size()), c.error) << c.json;
    }
}

TEST(decoder, accepts_integers_at_their_limits_and_whole_doubles) {
    decoder_t d;
    EXPECT_EQ(run(d, message_key_t::hmc5883, R"({"x":-32768,"y":32767,"z":-0})").text,
              R"({"x":-32768,"y":32767,"z":0})");
    EXPECT_EQ(run(d, message_key_t::rtc, R"({"y":65535,"m":255,"d":0,"hh":5.0,"mm":1e1,"ss":-0.0})").text,
              R"({"y":65535,"m":255,"d":0,"hh":5,"mm":10,"ss":0})");
    EXPECT_EQ(run(d, message_key_t::bh1749, R"({"r":-9.223372036854775808e18,"g":1E2,"b":4.2e1,"i":0})").text,
              R"({"r":-9223372036854775808,"g":100,"b":42,"i":0})");
    // Floats: rounded to the nearest float, up to and including the largest one.
    EXPECT_EQ(run(d, message_key_t::gravity,
                  R"({"x":3.4028234663852885981170418348451692544e38,"y":16777217,"z":18446744073709551615})")
                  .text,
              R"({"x":3.4028235e+38,"y":16777216.0,"z":1.8446744e+19})");
    EXPECT_EQ(run(d, message_key_t::gravity, R"({"x":0.1,"y":-1e-50,"z":1e-45})").text,
              R"({"x":0.1,"y":-0.0,"z":1e-45})");
}

// Numbers that a double cannot carry faithfully: integers past 64 bits,
// decimals past the double range, decimals a hair from a float halfway point
// or a limit. Each is decided on the number as written.
TEST(decoder, numbers_are_taken_as_written) {
    decoder_t d;
    auto x_of = [&](const std::string& x) {
        const auto got = run(d, message_key_t::gravity, R"({"x":)" + x + R"(,"y":0,"z":0})");
        if (!got.ok) return got.text;
        return got.text.substr(5, got.text.find(',') - 5);
    };
    // One rounding, decimal to float. The first literals lie just beside
    // 1 + 2^-24 and 1 + 3 * 2^-24, halfway between floats; a double rounds
    // each onto the halfway point, from which a tie goes to the even float.
    EXPECT_EQ(x_of("1.0000000596046447753906250000000001"), "1.0000001");
    EXPECT_EQ(x_of("1.0000000596046447753906249999999999"), "1.0");
    EXPECT_EQ(x_of("1.000000059604644775390625"), "1.0");
    EXPECT_EQ(x_of("1.0000001788139343261718749999999999"), "1.0000001");
    EXPECT_EQ(x_of("1.000000178813934326171875"), "1.0000002");
    // The same below the normal floats: 2^-150 is halfway between 0 and the
    // smallest float; a digit past the 120th still counts.
    const std::string half_smallest =
        "7.00649232162408535461864791644958065640130970938257885878534141944895541342930300743319094181060791015625";
    EXPECT_EQ(x_of(half_smallest + "e-46"), "0.0");
    EXPECT_EQ(x_of(half_smallest + "00000000000000000000001e-46"), "1e-45");
    EXPECT_EQ(x_of("-" + half_smallest + "000000000000000000000000000000000000001e-46"), "-1e-45");
    EXPECT_EQ(x_of("1e-400"), "0.0");
    EXPECT_EQ(x_of("-1e-400"), "-0.0");

    // The largest float, 340282346638528859811704183484516925440, is
    // allowed however written; a hair more is not, though a double rounds
    // it back onto the limit.
    EXPECT_EQ(x_of("340282346638528859811704183484516925440"), "3.4028235e+38");
    EXPECT_EQ(x_of("-3.4028234663852885981170418348451692544e38"), "-3.4028235e+38");
    EXPECT_EQ(x_of("3.40282346638528859811704183484516925440000001e38"),
              R"("x": out of range for Float (3.40282346638528859811704183484516925...))");
    EXPECT_EQ(x_of("-340282346638528859811704183484516925441"),
              R"("x": out of range for Float (-340282346638528859811704183484516925441))");
    // The double nearest to the largest float, and the float's shortest
    // text: both a little past it.
    EXPECT_EQ(x_of("3.4028234663852886e38"), R"("x": out of range for Float (3.4028234663852886e38))");
    EXPECT_EQ(x_of("3.4028235e38"), R"("x": out of range for Float (3.4028235e38))");
    EXPECT_EQ(x_of("1e400"), R"("x": out of range for Float (1e400))");
    EXPECT_EQ(x_of("-1E+400"), R"("x": out of range for Float (-1E+400))");
    // Integers past 64 bits are numbers like any other.
    EXPECT_EQ(x_of("100000000000000000000"), "1e+20");
    EXPECT_EQ(x_of("-123123123123123123123123123123"), "-1.2312313e+29");
    EXPECT_EQ(x_of("1" + std::string(39, '0')), R"("x": out of range for Float (1000000000000000000000000000000000000000))");
    // The key as the object spells it, escapes undone.
    EXPECT_EQ(run(d, message_key_t::gravity, R"({"\u0078":100000000000000000000,"y":0,"z":0})").text,
              R"({"x":1e+20,"y":0.0,"z":0.0})");

    // Integer fields: a fraction a double would lose, a value it would
    // round across the limit, an underflow it would make zero.
    auto r_of = [&](const std::string& r) {
        const auto got = run(d, message_key_t::bh1749, R"({"r":)" + r + R"(,"g":0,"b":0,"i":0})");
        return got.ok ? got.text.substr(5, got.text.find(',') - 5) : got.text;
    };
    EXPECT_EQ(r_of("1.0000000000000000001"), R"("r": not a whole number (1.0000000000000000001))");
    EXPECT_EQ(r_of("1e-400"), R"("r": not a whole number (1e-400))");
    EXPECT_EQ(r_of("9223372036854775807.0"), "9223372036854775807");
    EXPECT_EQ(r_of("9.223372036854775807e18"), "9223372036854775807");
    EXPECT_EQ(r_of("9.223372036854775808e18"), R"("r": out of range for Int (9.223372036854775808e18))");
    EXPECT_EQ(r_of("-9223372036854775808.000"), "-9223372036854775808");
    EXPECT_EQ(r_of("-9223372036854775809"), R"("r": out of range for Int (-9223372036854775809))");
    EXPECT_EQ(r_of("18446744073709551616"), R"("r": out of range for Int (18446744073709551616))");
    EXPECT_EQ(r_of("1e400"), R"("r": out of range for Int (1e400))");
    EXPECT_EQ(r_of("0.255e2"), R"("r": not a whole number (0.255e2))");
    EXPECT_EQ(r_of("-0.0e-7"), "0");
    EXPECT_EQ(r_of("0.250e3"), "250");
    EXPECT_EQ(run(d, message_key_t::rtc, R"({"y":2024,"m":25.5e1,"d":1,"hh":0,"mm":0,"ss":0})").text,
              R"({"y":2024,"m":255,"d":1,"hh":0,"mm":0,"ss":0})");
    EXPECT_EQ(run(d, message_key_t::rtc, R"({"y":2024,"m":18446744073709551617,"d":1,"hh":0,"mm":0,"ss":0})").text,
              R"("m": out of range for UInt8 (18446744073709551617))");

    // Such numbers where the record does not look are just valid JSON, and
    // nothing else in the text escapes the check because of them.
    EXPECT_EQ(run(d, message_key_t::gravity, R"({"x":1,"y":2,"z":3,"w":[1e400,-1e999999999999999999999]})").text,
              R"({"x":1.0,"y":2.0,"z":3.0})");
    EXPECT_EQ(run(d, message_key_t::compass, R"({"x":1,"y":2,"z":3,"c":"\"12345678901234567890123","n":1e400})").text,
              R"({"x":1.0,"y":2.0,"z":3.0,"c":"\"12345678901234567890123"})");
    for (const char* bad : {R"({"x":1e400,"y":2,"z":3,"w":[1,]})", R"({"x":1e400,"y":2,"z":01})",
                            R"({"x":1e400,"y":2,"z":3,"w":1.e5})", R"({"x":1e400,"y":2,"z":3,"w":-})",
                            R"({"x":1e400,"y":2,"z":3,"w":"open})", R"({"x":100000000000000000000,"y":2,"z":3} 1)"}) {
        const auto got = run(d, message_key_t::gravity, bad);
        EXPECT_EQ(got.text.substr(0, 15), "malformed JSON:") << bad;
    }
}

TEST(decoder, optional_fields_and_the_compass_fallback) {
    decoder_t d;
    // null and missing both mean absent; "heading" feeds H.
    EXPECT_EQ(run(d, message_key_t::gps, R"({"h":null,"heading":90})").text, R"({"H":90.0})");
    EXPECT_EQ(run(d, message_key_t::gps, "{}").text, "{}");

    auto compass = [&](const char* json) { return run(d, message_key_t::compass, json); };
    auto got = compass(R"({"h":1,"x":1,"y":2,"z":3,"c":"xy"})");
    EXPECT_EQ(got.name, "compass_gravity_str_t");
    EXPECT_EQ(got.text, R"({"h":1.0,"x":1.0,"y":2.0,"z":3.0,"c":"xy"})");
    // Without z, or with a string under x, only the plain record fits.
    EXPECT_EQ(compass(R"({"h":1,"b":2,"x":1,"y":2})").text, R"({"b":2.0,"h":1.0})");
    EXPECT_EQ(compass(R"({"x":"1","y":2,"z":3,"b":4})").name, "compass_str_t");
    EXPECT_EQ(compass("{}").name, "compass_str_t");
    // The first record that fits wins, though the plain one would refuse "b".
    EXPECT_EQ(compass(R"({"x":1,"y":2,"z":3,"b":"x"})").name, "compass_gravity_str_t");
    // When both fail, the plain record's reason is reported, not the first one's ("z": missing).
    got = compass(R"({"x":1,"y":2,"b":"x"})");
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.text, R"("b": wrong kind (expected a number, got a string))");
    // A bad "c" sinks only the gravity record; the plain one has no "c".
    EXPECT_EQ(compass(R"({"x":1,"y":2,"z":3,"c":5})").name, "compass_str_t");
}

// One decoder and one record serve many lines: nothing from an earlier line
// may leak into a later one.
TEST(decoder, reuse_leaves_nothing_behind) {
    decoder_t d;
    record_t record;
    std::string error;
    const std::string full =
        R"({"h":1,"x":1,"y":2,"z":3,"x_raw":1,"y_raw":2,"z_raw":3,"x_min":0,"y_min":0,"z_min":0,"x_max":0,)"
        R"("y_max":0,"z_max":0,"xv_min":0,"yv_min":0,"xv_max":0,"yv_max":0,"z_ang":7,"c":"a long calibration word",)"
        R"("e":"an event word longer than the small-string buffer", "pad":")" +
        std::string(5000, 'p') + R"("})";
    ASSERT_TRUE(d.decode(message_key_t::compass_c, full, record, error)) << error;
    EXPECT_FALSE(d.decode(message_key_t::compass_c, R"({"e":"1"})", record, error));
    EXPECT_EQ(error, R"("x_min": missing)");
    ASSERT_TRUE(d.decode(message_key_t::compass_c,
                         R"({"x_min":0,"y_min":0,"z_min":0,"x_max":0,"y_max":0,"z_max":0,"xv_min":0,"yv_min":0,)"
                         R"("xv_max":0,"yv_max":0,"e":"2"})",
                         record, error));
    EXPECT_TRUE(error.empty());
    std::string fields;
    append_record_fields_json(fields, record);
    EXPECT_EQ(fields,
              R"({"x_min":0,"y_min":0,"z_min":0,"x_max":0,"y_max":0,"z_max":0,"xv_min":0,"yv_min":0,)"
              R"("xv_max":0,"yv_max":0,"e":"2"})");
    // A record of another kind replaces it.
    ASSERT_TRUE(d.decode(message_key_t::gyro, R"({"x":1,"y":2,"z":3})", record, error));
    EXPECT_TRUE(std::holds_alternative<gyroscope_str_t>(record));

    decoder_t moved = std::move(d);
    EXPECT_TRUE(moved.decode(message_key_t::shtc3, R"({"temp":1,"humidity":2})", record, error)) << error;
}

// ---------------------------------------------------------------------------
// JSONTestSuite: each file becomes the value of a key the record ignores, so
// the verdict rests on the decoder checking text that no field reads. Its
// y_ files must pass, its n_ files fail; of the i_ files (the parser's
// choice) the numbers are kept: valid JSON whatever their size.

std::string wrap(std::string_view value) { return R"({"x":1,"y":2,"z":3,"ignored":)" + std::string(value) + "}"; }

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(decoder, json_test_suite_in_an_ignored_value) {
    const std::filesystem::path dir = std::filesystem::path(PLIMSY_TEST_DATA_DIR) / "jsontestsuite";
    decoder_t d;
    record_t record;
    std::string error;
    int accepted = 0, rejected = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        const bool valid = name.starts_with("y_") || name.starts_with("i_number_");
        if (!valid && !name.starts_with("n_")) continue;
        const bool ok = d.decode(message_key_t::gravity, wrap(read_file(entry.path())), record, error);
        EXPECT_EQ(ok, valid) << name << ": " << error;
        (valid ? accepted : rejected) += 1;
    }
    EXPECT_EQ(accepted, 95 + 10);
    EXPECT_EQ(rejected, 186);

    // The two large rejects of the suite, built here instead of stored.
    EXPECT_FALSE(d.decode(message_key_t::gravity, wrap(std::string(100000, '[')), record, error));
    std::string open_array_object;
    for (int i = 0; i < 50000; ++i) open_array_object += R"([{"":)";
    EXPECT_FALSE(d.decode(message_key_t::gravity, wrap(open_array_object + "\n"), record, error));
}

// The suite's numbers past the usual ranges, as a Float field: a float, or
// out of range naming the key; never malformed.
TEST(decoder, json_test_suite_numbers_in_a_float_field) {
    const std::filesystem::path dir = std::filesystem::path(PLIMSY_TEST_DATA_DIR) / "jsontestsuite";
    const std::pair<const char*, const char*> cases[] = {
        {"i_number_double_huge_neg_exp", "0.0"},
        {"i_number_huge_exp", "out of range"},
        {"i_number_neg_int_huge_exp", "out of range"},
        {"i_number_pos_double_huge_exp", "out of range"},
        {"i_number_real_neg_overflow", "out of range"},
        {"i_number_real_pos_overflow", "out of range"},
        {"i_number_real_underflow", "0.0"},
        {"i_number_too_big_neg_int", "-1.2312313e+29"},
        {"i_number_too_big_pos_int", "1e+20"},
        {"i_number_very_big_negative_int", "out of range"},
    };
    decoder_t d;
    for (const auto& [name, expected] : cases) {
        std::string number = read_file(dir / (std::string(name) + ".json"));
        ASSERT_TRUE(number.starts_with('[')) << name;
        number = number.substr(1, number.rfind(']') - 1);
        const auto got = run(d, message_key_t::hmc5883n, R"({"x":0,"y":0,"z":)" + number + "}");
        if (std::string_view(expected) == "out of range") {
            EXPECT_EQ(got.text.substr(0, 27), R"("z": out of range for Float)") << name;
        } else {
            EXPECT_EQ(got.text, R"({"x":0.0,"y":0.0,"z":)" + std::string(expected) + "}") << name;
        }
    }
}

}  // namespace
}  // namespace plimsy
