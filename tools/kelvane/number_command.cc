// SPDX-License-Identifier: Apache-2.0
// `kelvane number format VALUE` and `kelvane number parse TEXT`: prices, changes, percentages,
// compact quantities and money in a locale, and the same texts read back exactly.
// Demo step: a price panel in three locales.
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "kelvane/numbers/decimal.h"
#include "kelvane/numbers/number_format.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

struct NumberCommandOptions {
  std::string text;
  std::string locale = "en-US";
  std::string style = "price";
  int digits = -1;
  std::string tick;
  bool fractional = false;
  bool no_grouping = false;
  std::string rounding = "half-even";
  std::string sign;
  std::string currency;
  bool code = false;
};

NumberStyle StyleNamed(const std::string& name) {
  if (name == "change") return NumberStyle::kChange;
  if (name == "percent") return NumberStyle::kPercent;
  if (name == "compact") return NumberStyle::kCompact;
  if (name == "money") return NumberStyle::kMoney;
  return NumberStyle::kPrice;
}

Rounding RoundingNamed(const std::string& name) {
  if (name == "half-up") return Rounding::kHalfUp;
  if (name == "toward-zero") return Rounding::kTowardZero;
  if (name == "floor") return Rounding::kFloor;
  if (name == "ceiling") return Rounding::kCeiling;
  return Rounding::kHalfEven;
}

// A tick as a plain decimal ("0.25") or as a fraction of a whole, 1/32 to 1/256.
std::optional<Decimal> ParseTick(const std::string& text) {
  for (const auto& [name, tick] :
       {std::pair{"1/32", "0.03125"}, std::pair{"1/64", "0.015625"},
        std::pair{"1/128", "0.0078125"}, std::pair{"1/256", "0.00390625"}}) {
    if (text == name) return Decimal::FromString(tick);
  }
  return Decimal::FromString(text);
}

// The formatter the options describe, or a Failure naming what does not hold together.
std::shared_ptr<const NumberFormatter> Formatter(const NumberCommandOptions& o, const char* what) {
  NumberOptions options;
  options.style = StyleNamed(o.style);
  options.digits = o.digits;
  options.fractional = o.fractional;
  options.grouping = !o.no_grouping;
  options.rounding = RoundingNamed(o.rounding);
  options.currency = o.currency;
  options.currency_display = o.code ? CurrencyDisplay::kCode : CurrencyDisplay::kSymbol;
  if (o.sign == "negative") options.sign = SignDisplay::kNegative;
  if (o.sign == "always") options.sign = SignDisplay::kAlways;
  if (o.sign == "except-zero") options.sign = SignDisplay::kExceptZero;
  const std::string command = std::string("number ") + what + ": ";
  if (!o.tick.empty()) {
    const std::optional<Decimal> tick = ParseTick(o.tick);
    if (!tick || tick->sign() <= 0) {
      throw UsageError("--tick: '" + Printable(o.tick) +
                       "' is not a positive plain decimal or 1/32, 1/64, 1/128, 1/256");
    }
    options.tick = *tick;
  }
  if (o.fractional && !(options.tick == Decimal::FromString("0.03125").value() ||
                        options.tick == Decimal::FromString("0.015625").value() ||
                        options.tick == Decimal::FromString("0.0078125").value() ||
                        options.tick == Decimal::FromString("0.00390625").value())) {
    throw UsageError("--fractional needs --tick 1/32, 1/64, 1/128 or 1/256");
  }
  if (o.fractional && options.style != NumberStyle::kPrice &&
      options.style != NumberStyle::kChange) {
    throw UsageError("--fractional is for the price and change styles");
  }
  if (o.fractional && o.digits >= 0) {
    throw UsageError("--fractional writes the tick's own digits: leave out --digits");
  }
  if (options.style == NumberStyle::kCompact && !o.tick.empty()) {
    throw UsageError("--tick does not apply to compact quantities");
  }
  if (options.style == NumberStyle::kMoney && o.currency.empty() && !CurrencyForLocale(o.locale)) {
    throw Failure(command + "the locale '" + Printable(o.locale) +
                  "' has no currency of its own: give --currency CODE");
  }
  std::shared_ptr<const NumberFormatter> formatter = NumberFormatter::Make(o.locale, options);
  if (formatter == nullptr) {
    throw Failure(command + "cannot read the number conventions of the locale '" +
                  Printable(o.locale) + "'" +
                  (o.currency.empty() ? "" : " or the currency '" + Printable(o.currency) + "'"));
  }
  return formatter;
}

int RunFormat(const NumberCommandOptions& o) {
  const std::optional<Decimal> value = Decimal::FromString(o.text);
  if (!value) {
    throw UsageError("'" + Printable(o.text) +
                     "' is not a plain decimal (digits, an optional sign and point: -1234.5)");
  }
  const std::string text = Formatter(o, "format")->FormatUtf8(*value);
  if (text.empty()) throw Failure("number format: " + value->ToString() + " rounds past the range");
  std::cout << text << '\n';
  return 0;
}

int RunParse(const NumberCommandOptions& o) {
  if (!IsUtf8(o.text)) throw UsageError("the text is not UTF-8");
  const NumberParse read = Formatter(o, "parse")->Parse(std::string_view(o.text));
  if (!read.value) {
    return Fail("number parse: '" + Printable(o.text) + "': " + NumberParseErrorText(read.error) +
                " at byte " + std::to_string(read.position));
  }
  std::cout << read.value->ToString() << '\n';
  return 0;
}

}  // namespace

void AddNumber(Tool& tool) {
  CLI::App* command = tool.app.add_subcommand(
      "number", "format prices, changes, percentages, volumes and money, and read them back");
  command->require_subcommand(1);
  auto o = std::make_shared<NumberCommandOptions>();
  const auto sub = [&](const char* name, const char* help, const char* argument,
                       const char* argument_help, std::function<int()> run) {
    CLI::App* s = command->add_subcommand(name, help);
    s->add_option(argument, o->text, argument_help)->required();
    s->add_option("--locale", o->locale, "the locale (en-US, de-CH, hi-IN, ar-EG, ...)")
        ->capture_default_str();
    s->add_option("--style", o->style, "what the number is")
        ->check(OneOf({"price", "change", "percent", "compact", "money"}))
        ->capture_default_str();
    s->add_option("--digits", o->digits, "fraction digits (default: the tick's or the style's)")
        ->check(Integer(0, Decimal::kMaxScale));
    s->add_option("--tick", o->tick, "the price increment: 0.25, 0.0001, 1/32, 1/64, 1/128, 1/256");
    s->add_flag("--fractional", o->fractional,
                "32nds notation (99-16, 99-16+, 99-161) with a tick of 1/32 to 1/256");
    s->add_flag("--no-grouping", o->no_grouping, "no group separators");
    s->add_option("--rounding", o->rounding, "how values are rounded")
        ->check(OneOf({"half-even", "half-up", "toward-zero", "floor", "ceiling"}))
        ->capture_default_str();
    s->add_option("--sign", o->sign, "when a sign is shown (default: by the style)")
        ->check(OneOf({"negative", "always", "except-zero"}));
    s->add_option("--currency", o->currency, "an ISO 4217 code (default: the locale's)");
    s->add_flag("--code", o->code, "show the currency's ISO code rather than its symbol");
    tool.Runs(s, std::move(run));
  };
  sub("format", "write VALUE, a plain decimal, as the locale writes it", "VALUE",
      "a plain decimal: -1234.5", [o] { return RunFormat(*o); });
  sub("parse", "read TEXT as the locale writes it and print it as a plain decimal", "TEXT",
      "the text to read", [o] { return RunParse(*o); });
}

int DemoNumber(DemoContext& context) {
  std::ostream& out = context.out;
  struct Row {
    const char* what;
    const char* value;
    NumberOptions options;
  };
  NumberOptions price{.tick = Decimal::FromString("0.25").value()};
  NumberOptions change{.style = NumberStyle::kChange, .digits = 2};
  NumberOptions percent{.style = NumberStyle::kPercent, .digits = 2};
  NumberOptions volume{.style = NumberStyle::kCompact};
  NumberOptions money{.style = NumberStyle::kMoney, .currency = "CHF"};
  NumberOptions bond{.tick = Decimal::FromString("0.015625").value(), .fractional = true};
  const Row rows[] = {
      {"price (tick 0.25)", "1234567.75", price}, {"change", "-12.3", change},
      {"change in percent", "0.35", percent},     {"volume", "12345678", volume},
      {"money (CHF)", "1234.5", money},           {"bond (64ths)", "99.515625", bond},
  };
  const char* locales[] = {"en-US", "de-CH", "hi-IN"};
  out << "A price panel in three locales (each formatter made once, then shared):\n";
  out << "  " << std::left << std::setw(20) << "";
  for (const char* locale : locales) out << std::setw(18) << locale;
  out << '\n';
  for (const Row& row : rows) {
    out << "  " << std::setw(20) << row.what;
    for (const char* locale : locales) {
      const auto formatter = NumberFormatter::Make(locale, row.options);
      if (formatter == nullptr) throw Failure(std::string("number: no formatter for ") + locale);
      const std::string text = formatter->FormatUtf8(Decimal::FromString(row.value).value());
      // Padded by characters, not bytes: the marks of other locales are several bytes each.
      std::size_t width = 0;
      for (const unsigned char c : text) width += (c & 0xC0) != 0x80;
      out << text << std::string(width < 18 ? 18 - width : 1, ' ');
    }
    out << '\n';
  }
  const auto swiss =
      NumberFormatter::Make("de-CH", {.style = NumberStyle::kMoney, .currency = "CHF"});
  const NumberParse typed = swiss->Parse(std::string_view("CHF 1'234.5"));
  out << "Typed in de-CH, \"CHF 1'234.5\" reads back as "
      << (typed.value ? typed.value->ToString() : std::string("nothing")) << "; 0.1 + 0.2 = "
      << Add(Decimal::FromString("0.1").value(), Decimal::FromString("0.2").value())->ToString()
      << " exactly\n";
  return 0;
}

}  // namespace kelvane::cli
