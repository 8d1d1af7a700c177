// assign: gives one file the next MAC and SN from a ledger. The file is
// opened for update and held, and backed up, first, so one that is no vendor
// file, cannot be written or cannot be backed up costs no values; the values
// are reserved in one durable transaction before the file changes, and the
// write's end is recorded after. Run again on a file whose write landed
// unrecorded, it records that unit. Once the unit is written, its label is
// made; a label that fails leaves the unit written, for label FILE to reprint.
// With a lease, a server that cannot be reached at all is no stop: the unit
// comes from the station's lease file, recorded there as the server would
// record it, and is sent by the next assign that reaches the server.
#include "cli/commands.h"
#include "cli/file_call.h"
#include "cli/forecast.h"
#include "cli/labels.h"
#include "cli/leases.h"
#include "cli/ledger_access.h"
#include "cli/messages.h"
#include "cli/reading.h"
#include "files/clock.h"
#include "files/host.h"
#include "files/utf8.h"
#include "ledger/journal.h"
#include "vendor/entry.h"

namespace {

struct AssignOptions {
  std::string path;
  LedgerArgument ledger;
  std::optional<std::string> station, log;
  LabelDestination label;
  LabelChoice labelChoice;
  LeaseOptions lease;
  bool labelAsked = false;  // a label option was given
  bool reassign = false, backup = false, json = false;
};

// The unit's values as the edits that write them.
EditState EditsOf(const std::wstring& path, const ledger::Unit& unit) {
  EditState edits{path, {}, {}};
  edits.NewMAC = EnterMac(Wide(unit.mac)).edit;
  edits.NewSN = EnterSn(Wide(unit.sn)).edit;
  return edits;
}

class Assignment {
 public:
  Assignment(const ToolContext& tool, const AssignOptions& options)
      : tool_(tool), options_(options), call_(AbsolutePath(Wide(options.path))) {
    const std::string host = HostName();
    request_ = {ledger::NewRequestId(),
                Utf8(call_.path),
                options.station.value_or(host),
                host,
                IsoTime(Now()),
                "",
                "",
                options.reassign,
                std::nullopt};
  }

  Outcome Run() {
    if (Result<> named = CheckStationName(request_.station); !named) return Stop(named.error());
    if (!options_.label.output && !options_.label.printer && options_.labelAsked)
      return Stop(
          Refusal(L"a label's options were given, but not where it goes: --label OUT or --label-print"));
    if (options_.label.output || options_.label.printer) {
      Result<LabelPlan> plan = PlanLabels(tool_, options_.label, false, options_.labelChoice);
      if (!plan) return Stop(Refusal(Wide("the label: " + Describe(plan.error()))));
      labelPlan_ = std::move(*plan);
    }
    Result<std::unique_ptr<ByteFile>> file = tool_.files.Open(call_.path, Access::update);
    if (!file) return Stop(file.error());
    Result<StoredFields> before = ReadFields(**file);
    if (!before) return Stop(before.error());
    call_.Before(*before);
    request_.macBefore = *call_.macBefore;
    request_.snBefore = *call_.snBefore;
    // Before any value is taken: a backup that cannot be made would
    // otherwise cost the values reserved for the write it stops.
    if (options_.backup) {
      if (Result<> made = BackUpHeld(tool_, **file, call_); !made)
        return Stop(Refusal(Wide("no backup could be made: " + Describe(made.error()))));
    }

    Result<std::string> where = ChosenLedger(tool_, options_.ledger);
    if (!where) return Stop(where.error());
    if (Result<> leasing = OpenLease(*where); !leasing) return Stop(leasing.error());
    if (Result<std::optional<Failure>> quiet = StillUnanswered(); !quiet || *quiet)
      return quiet ? FromLease(**file, *before, **quiet, *where) : Stop(quiet.error());
    Result<std::unique_ptr<ledger::Ledger>> ledger = ledger::OpenLedger(*where, false);
    if (!ledger && lease_ && ledger::Unreachable(ledger.error())) {
      if (Result<> noted = lease_->NotAnswered(); !noted) return Stop(noted.error());
      return FromLease(**file, *before, ledger.error(), *where);
    }
    if (!ledger) return Stop(ledger.error(), LedgerRecorded(*where));
    OpenJournal(ledger::LedgerName(*where));
    if (lease_) {
      if (Result<std::optional<Outcome>> settled = LeasedHere(**ledger); !settled || *settled)
        return settled ? **settled : Stop(settled.error());
      if (Result<> answered = lease_->Answered(); !answered)
        Say(tool_.err, Severity::warning, L"",
            "this station's lease file could not note that the ledger answers: " +
                Describe(answered.error()));
      if (Result<> sent = SendLeased(**ledger); !sent) return Stop(sent.error(), LedgerRecorded(*where));
    }
    std::optional<ledger::Unit> adopted = SettleLeftovers(**ledger);
    if (recordedEarlier_) {
      unit_ = recordedEarlier_;
      return Found();
    }
    if (!adopted)
      Journaled([&](ledger::Journal& journal) {
        return journal.Note({request_.id, journalKey_, request_.station, request_.path});
      });
    Result<ledger::Reservation> reserved =
        adopted ? Result<ledger::Reservation>(ledger::Uncounted(*adopted)) : (*ledger)->Reserve(request_);
    if (!reserved) {
      if (reserved.error().cause != Failure::Cause::inDoubt)
        Journaled([&](ledger::Journal& journal) { return journal.Done(request_.id); });
      return Stop(reserved.error(), LedgerRecorded(*where));
    }
    unit_ = reserved->unit;
    if (reserved->lease) KeepLease(*reserved->lease);
    if (reserved->found) {  // no new reservation: its note is done with
      Journaled([&](ledger::Journal& journal) { return journal.Done(request_.id); });
      return Found();
    }
    Journaled([&](ledger::Journal& journal) { return journal.Writing(request_.id); });

    const EditState edits = EditsOf(call_.path, *unit_);
    call_.Planned(edits);
    WriteHeld(tool_, **file, edits, false, call_);
    if (call_.result == CallResult::written && !options_.json)
      Print(tool_.out, WrittenText(call_, Changes(*before, edits)));
    Outcome outcome = Finish(tool_, call_, options_.log);
    const Outcome recorded = Record(**ledger);
    if (!recorded.findings) Journaled([&](ledger::Journal& journal) { return journal.Done(request_.id); });
    outcome |= recorded;
    WarnOfRunningOut(**ledger, {reserved->macs, reserved->sns});
    outcome |= Label();
    Report();
    return outcome;
  }

 private:
  // The station's lease file, where --lease, QUORVIX_LEASE or --lease-file
  // asks for one; and, when fewer than half the values to keep leased are
  // left, the next block asked for with this unit.
  Result<> OpenLease(const std::string& where) {
    Result<std::optional<std::uint64_t>> size = LeaseSize(options_.lease);
    if (!size) return size.error();
    if (!*size && !options_.lease.file) return {};
    Result<ledger::LeaseFile> opened = OpenStationLease(options_.lease, where, request_.station);
    if (!opened) return opened.error();
    lease_.emplace(std::move(*opened));
    if (!*size) return {};
    Result<std::uint64_t> left = lease_->Left();
    if (!left) return left.error();
    if (*left * 2 < **size) request_.lease = ledger::LeaseAsk{ledger::NewRequestId(), MachineId(), **size};
    return {};
  }

  // In a cut every try waits its whole timeout: while the server has not
  // answered for less than a minute, an assign goes to the lease at once,
  // as long as the lease has a value for it.
  Result<std::optional<Failure>> StillUnanswered() {
    if (!lease_ || options_.reassign) return std::optional<Failure>();  // a reassign is the server's alone
    Result<std::optional<std::string>> since = lease_->Unanswered();
    if (!since) return since.error();
    if (!*since) return std::optional<Failure>();
    Result<std::uint64_t> left = lease_->Left();
    if (!left) return left.error();
    Result<std::optional<ledger::LeasedUnit>> earlier = lease_->Reserved(request_.path);
    if (!earlier) return earlier.error();
    if (*left == 0 && !*earlier) return std::optional<Failure>();
    return std::optional<Failure>(Failure(
        Failure::Cause::retry, Wide("the ledger has not answered since " + **since +
                                    " and is tried again once a minute has passed since the last try")));
  }

  // A lease the server granted with the unit. One the lease file cannot
  // take is lost to everyone, never given twice.
  void KeepLease(const ledger::Lease& lease) {
    if (Result<> kept = lease_->Add(lease); !kept)
      Say(tool_.err, Severity::warning, L"",
          "the lease granted could not be recorded in this station's lease file, and its " +
              std::to_string(lease.macs.Count()) + " values stay unused: " + Describe(kept.error()));
  }

  // Units programmed from the lease while the server could not be reached,
  // sent before this station takes anything more from it.
  Result<> SendLeased(ledger::Ledger& ledger) {
    Result<Sending> sent = SendWaiting(ledger, *lease_);
    if (!sent) return sent.error();
    if (sent->sent > 0)
      Say(tool_.err, Severity::warning, L"",
          std::to_string(sent->sent) +
              " units programmed on this station while the ledger could not be reached "
              "are sent to it now");
    return {};
  }

  // Programs the file from this station's lease: the server did not answer
  // at all. The unit is recorded in the lease file before the file changes,
  // and how its write ended after, as the server would record it.
  Outcome FromLease(ByteFile& file, const StoredFields& before, const Failure& unreachable,
                    const std::string& where) {
    const std::string why = Describe(unreachable);
    const auto stop = [&](const std::string& more) {
      return Stop(Failure(Failure::Cause::retry, Wide(why + "; " + more)), LedgerRecorded(where));
    };
    if (options_.reassign) return stop("a reassign needs the ledger itself, not the station's lease");
    // A reservation of this file whose commit went unanswered may be on the
    // server. Where its write may have begun, only the server can settle it;
    // where it never began, the file gets a leased value, and the server's
    // reservation, which then never reaches a device, is recorded failed by
    // the first assign that reaches it.
    OpenJournal(ledger::LedgerName(where));
    if (journal_) {
      Result<std::vector<ledger::Journal::Entry>> pending = journal_->Pending(journalKey_, request_.station);
      if (!pending) return Stop(pending.error());
      if (std::any_of(pending->begin(), pending->end(), [&](const ledger::Journal::Entry& entry) {
            return entry.path == request_.path && entry.writing;
          }))
        return stop(
            "an earlier reservation of this file may have been written, and is in doubt until the "
            "ledger answers");
    }
    Result<std::optional<ledger::LeasedUnit>> leased = EarlierLeased();
    if (leased && !*leased) {
      Result<std::optional<ledger::LeasedUnit>> held = lease_->Holding(*call_.macBefore, *call_.snBefore);
      if (!held) return Stop(held.error());
      if (*held) return HeldAlready(**held);
      leased = lease_->Take(request_);
    }
    if (!leased) return Stop(leased.error());
    if (!*leased) return stop("this station's lease is used up");
    const ledger::LeasedUnit& taken = **leased;
    UnitOf(taken, ledger::UnitState::reserved);
    unit_->host = request_.host;
    unit_->macBefore = taken.request.macBefore;
    unit_->snBefore = taken.request.snBefore;
    if (*call_.macBefore == taken.mac && *call_.snBefore == taken.sn) {
      Outcome outcome = SettleLeased(taken.request.id, CallResult::written);
      outcome |= Found();
      return outcome;
    }
    const EditState edits = EditsOf(call_.path, *unit_);
    call_.Planned(edits);
    if (Result<> marked = lease_->Writing(taken.request.id); !marked) return Stop(marked.error());
    WriteHeld(tool_, file, edits, false, call_);
    if (call_.result == CallResult::written && !options_.json)
      Print(tool_.out, WrittenText(call_, Changes(before, edits)));
    Outcome outcome = Finish(tool_, call_, options_.log);
    outcome |= SettleLeased(taken.request.id, call_.result);
    outcome |= Label();
    Report();
    return outcome;
  }

  // A unit of this station's lease an earlier run reserved for this file
  // while the server was away, settled now that it answers: where the file
  // holds its values it is written and sent, and this assign is done; where
  // its write never began it is recorded failed, and the server gives the
  // file a unit of its own.
  Result<std::optional<Outcome>> LeasedHere(ledger::Ledger& ledger) {
    Result<std::optional<ledger::LeasedUnit>> earlier = EarlierLeased();
    if (!earlier) return earlier.error();
    if (!*earlier) return std::optional<Outcome>();
    const ledger::LeasedUnit& unit = **earlier;
    const bool landed = *call_.macBefore == unit.mac && *call_.snBefore == unit.sn;
    const ledger::UnitState state = landed ? ledger::UnitState::written : ledger::UnitState::failed;
    if (Result<> settled = lease_->Settle(unit.request.id, state, std::nullopt); !settled)
      return settled.error();
    if (Result<> sent = SendLeased(ledger); !sent) return sent.error();
    if (!landed) return std::optional<Outcome>();
    UnitOf(unit, state);
    return std::optional<Outcome>(Found());
  }

  // This run's unit: one of the lease file's.
  void UnitOf(const ledger::LeasedUnit& leased, ledger::UnitState state) {
    unit_.emplace();
    unit_->mac = leased.mac;
    unit_->sn = leased.sn;
    unit_->path = leased.request.path;
    unit_->station = request_.station;
    unit_->stationTime = leased.request.time;
    unit_->state = state;
  }

  // The file holds values this station already programmed from its lease,
  // as the server refuses a file that holds a unit's values: the same
  // assign again after a run that recorded its write finds it done.
  Outcome HeldAlready(const ledger::LeasedUnit& held) {
    if (held.state == ledger::UnitState::written && held.request.path == request_.path &&
        held.mac == *call_.macBefore && held.sn == *call_.snBefore) {
      UnitOf(held, held.state);
      return Found();
    }
    const bool mac = held.mac == *call_.macBefore;
    return Stop(Refusal(Wide("already holds " + (mac ? "MAC " + held.mac : "SN " + held.sn) +
                             ", programmed from this station's lease at " + held.request.time + " (unit " +
                             std::string(ledger::Name(held.state)) +
                             "); --reassign gives it new values once the ledger answers")));
  }

  // A unit of this station's lease that an earlier run reserved for this
  // file and was stopped before it recorded how the write ended: its write
  // landed where the file holds its values. Where its write never began, it
  // goes to this file (it may be the same device again) or is recorded
  // failed. Where it began and the file shows nothing of it, the device it
  // reached may have left, a blank in its place: every blank looks the same,
  // so its values go to no other device, and it stays reserved for ledger
  // reconcile.
  Result<std::optional<ledger::LeasedUnit>> EarlierLeased() {
    for (;;) {
      Result<std::optional<ledger::LeasedUnit>> earlier = lease_->Reserved(request_.path);
      if (!earlier || !*earlier) return earlier;
      const ledger::LeasedUnit& unit = **earlier;
      const bool landed = *call_.macBefore == unit.mac && *call_.snBefore == unit.sn;
      const bool again =
          *call_.macBefore == unit.request.macBefore && *call_.snBefore == unit.request.snBefore;
      if (landed || (again && !unit.writing)) return earlier;
      if (!unit.writing) {
        if (Result<> failed = lease_->Settle(unit.request.id, ledger::UnitState::failed, std::nullopt);
            !failed)
          return failed.error();
        continue;
      }
      if (Result<> left = lease_->ForReconcile(unit.request.id); !left) return left.error();
      Say(tool_.err, Severity::warning, call_.path,
          "the unit of MAC " + unit.mac + " and SN " + unit.sn +
              ", whose write an earlier run began and was stopped in, may be on a device that has left: it "
              "stays reserved, is sent so, and ledger reconcile settles it by the device's file");
    }
  }

  // Records in the lease file how a leased unit's write ended, and says
  // where the unit is.
  Outcome SettleLeased(const std::string& request, CallResult result) {
    const bool written = result == CallResult::written;
    const ledger::UnitState state = written ? ledger::UnitState::written : ledger::UnitState::failed;
    if (Result<> settled = lease_->Settle(request, state, call_.restored); !settled) {
      Say(tool_.err, Severity::error, call_.path,
          std::string("this station's lease file could not record that the write ") +
              (written ? "succeeded" : "failed") + ": " + Describe(settled.error()) +
              "; the same assign again records it");
      return Outcome{.findings = true};
    }
    unit_->state = state;
    unit_->restored = call_.restored;
    Result<std::vector<ledger::LeasedUnit>> waiting = lease_->Waiting();
    Say(tool_.err, Severity::warning, call_.path,
        "the ledger could not be reached: this unit is recorded on this station, in its lease file" +
            (waiting ? "; " + std::to_string(waiting->size()) + " units wait to be sent" : std::string()));
    return {};
  }

  // The station's journal, where it can be had: without it a reservation
  // whose commit goes unanswered is settled by reconcile alone.
  void OpenJournal(const std::string& ledger) {
    journalKey_ = ledger;
    const std::optional<std::string> path = ledger::JournalPath();
    Result<ledger::Journal> opened = path
                                         ? ledger::Journal::Open(*path)
                                         : Result<ledger::Journal>(Refusal(L"this user has no state folder"));
    if (opened) {
      journal_.emplace(std::move(*opened));
    } else {
      Say(tool_.err, Severity::warning, L"",
          "this station's journal (" + path.value_or("QUORVIX_JOURNAL") +
              ") cannot be used: " + Describe(opened.error()));
    }
  }

  // Runs a step on the journal; a journal that fails is said once and left.
  void Journaled(const std::function<Result<>(ledger::Journal&)>& step) {
    if (!journal_) return;
    if (Result<> done = step(*journal_); !done) {
      Say(tool_.err, Severity::warning, L"", "this station's journal: " + Describe(done.error()));
      journal_.reset();
    }
  }

  // What earlier runs of this station left in doubt: a unit the ledger
  // reserved for a run that never began its write never reached a device.
  // It is this file's, when it was reserved for this very file as it is
  // now; else it is recorded failed. A unit whose write may have begun is
  // reconcile's, by what the device shows.
  std::optional<ledger::Unit> SettleLeftovers(ledger::Ledger& ledger) {
    if (!journal_) return std::nullopt;
    Result<std::vector<ledger::Journal::Entry>> entries = journal_->Pending(journalKey_, request_.station);
    if (!entries) {
      Journaled([&](ledger::Journal&) { return Result<>(entries.error()); });
      return std::nullopt;
    }
    std::optional<ledger::Unit> adopted;
    for (const ledger::Journal::Entry& entry : *entries) {
      Result<std::optional<ledger::Unit>> unit = ledger.Requested(entry.request);
      if (!unit) continue;  // asked again next time
      if (!*unit || (*unit)->state != ledger::UnitState::reserved) {
        // This station's earlier run wrote this very file, and its record
        // landed, but the answer never reached it: the same assign finds so.
        const bool landed = *unit && entry.writing && (*unit)->state == ledger::UnitState::written;
        if (landed && entry.path == request_.path && (*unit)->mac == request_.macBefore &&
            (*unit)->sn == request_.snBefore && !recordedEarlier_)
          recordedEarlier_ = **unit;
        // Another file's: kept for that file's own assign again while the
        // file still holds the unit's values.
        if (landed && entry.path != request_.path && Holds(entry.path, **unit)) continue;
        Journaled([&](ledger::Journal& journal) { return journal.Done(entry.request); });
        continue;
      }
      if (entry.writing) continue;
      if (!adopted && !options_.reassign && entry.path == request_.path &&
          (*unit)->macBefore == request_.macBefore && (*unit)->snBefore == request_.snBefore) {
        adopted = **unit;
        request_.id = entry.request;
        continue;
      }
      if (!ledger.Settle((*unit)->id, ledger::UnitState::failed, true)) continue;
      Say(tool_.err, Severity::warning, Wide(entry.path),
          "the unit of MAC " + (*unit)->mac + " and SN " + (*unit)->sn +
              ", reserved by an earlier run whose commit went unanswered, was never written: recorded "
              "failed");
      Journaled([&](ledger::Journal& journal) { return journal.Done(entry.request); });
    }
    return adopted;
  }

  bool Holds(const std::string& path, const ledger::Unit& unit) {
    Result<StoredFields> fields = ReadFields(tool_.files, Wide(path));
    return fields && VendorLayout::HexText(fields->mac) == unit.mac && ShownText(fields->sn) == unit.sn;
  }

  // Ends with nothing written, and nothing reserved unless the ledger could
  // not tell.
  Outcome Stop(const Failure& failure, const std::string& ledger = "") {
    const std::string why = (ledger.empty() ? "" : ledger + ": ") + Describe(failure);
    const bool inDoubt = failure.cause == Failure::Cause::inDoubt;
    call_.Stop(
        failure.cause == Failure::Cause::retry || inDoubt ? CallResult::retry : CallResult::refused,
        why + (inDoubt ? "; values may have been reserved, none was written" : "; nothing was reserved"));
    Outcome outcome = Finish(tool_, call_, options_.log);
    Report();
    return outcome;
  }

  // The file held a unit's values already: a run before this one wrote them
  // and was stopped before it could record so, which the ledger now has.
  Outcome Found() {
    call_.result = CallResult::written;
    if (!options_.json) {
      Print(tool_.out, Utf8(call_.path) + ": written by an earlier run, and recorded\n  MAC " + unit_->mac +
                           "\n  SN  " + unit_->sn + "\n" +
                           (call_.backup.empty() ? "" : "  backup " + call_.backup + "\n"));
    }
    Outcome outcome = Finish(tool_, call_, options_.log);
    outcome |= Label();
    Report();
    return outcome;
  }

  // The label of a written unit, where one is asked for.
  Outcome Label() {
    if (!labelPlan_ || !unit_ || call_.result != CallResult::written) return {};
    const std::string where = options_.label.output.value_or(options_.label.printer.value_or(""));
    Result<std::string> made = [&]() -> Result<std::string> {
      if (unit_->state != ledger::UnitState::written)
        return Refusal(L"the ledger does not have the unit written, so it gets no label yet");
      const Result<LabelValues> values = LedgerValues(*unit_);
      if (!values) return values.error();
      const Result<LabelBytes> label = MakeLabelOf(*values, *labelPlan_);
      if (!label) return label.error();
      return DeliverLabel(tool_, options_.label, *label);
    }();
    if (made) {
      label_ = *made;
      if (!options_.json) Print(tool_.out, "  label " + *made + "\n");
      return {};
    }
    labelError_ = where + ": " + Describe(made.error());
    Say(tool_.err, Severity::error, call_.path,
        "the unit is written; its label failed: reprint it with label FILE (" + labelError_ + ")");
    return Outcome{.labelFailed = true};
  }

  // Records how the write ended; a unit whose end cannot be recorded stays
  // reserved, for ledger reconcile.
  Outcome Record(ledger::Ledger& ledger) {
    const bool written = call_.result == CallResult::written;
    const ledger::UnitState state = written ? ledger::UnitState::written : ledger::UnitState::failed;
    Result<ledger::Recorded> settled = ledger.Settle(unit_->id, state, call_.restored);
    if (!settled) {
      Say(tool_.err, Severity::error, call_.path,
          std::string("the ledger could not record that the write ") + (written ? "succeeded" : "failed") +
              ": " + Describe(settled.error()) + "; the unit stays reserved for ledger reconcile");
      return Outcome{.findings = true};
    }
    if (*settled == ledger::Recorded::already) {
      Say(tool_.err, Severity::warning, call_.path,
          "another run had recorded this unit meanwhile; the ledger keeps what it recorded");
      ledger::UnitFilter itself;
      itself.unit = unit_->id;
      (void)ledger.EachUnit(itself, [&](const ledger::Unit& recorded) -> Result<> {
        unit_->state = recorded.state;
        return {};
      });
      return {};
    }
    unit_->state = state;
    unit_->restored = call_.restored;
    return {};
  }

  // A supervisor hears of a range that runs out within a day before the
  // line stops. A range more than half left cannot: no day gave out more
  // than it ever gave out, so its pace is counted only after that.
  void WarnOfRunningOut(ledger::Ledger& ledger, std::vector<ledger::RangeSummary> ranges) {
    std::string warning;
    std::optional<Seconds> now;
    for (ledger::RangeSummary& range : ranges) {
      if (range.first.empty()) continue;  // a reservation confirmed after a lost answer: not counted
      if (range.left >= range.handedOut && range.left >= 100) continue;
      if (!now) {
        const Result<Seconds> ledgerNow = LedgerNow(ledger);
        if (!ledgerNow) return;
        now = *ledgerNow;
      }
      if (!ledger.CountRecent(range, IsoTime(*now)) || !RunningLow(range)) continue;
      warning += std::string(warning.empty() ? "" : "; ") + "the " + RangeName(range) + " range has " +
                 std::to_string(range.left) + " values left, " + std::to_string(range.lastDay) +
                 " handed out in the last 24 hours: it " + RunOutText(range, *now);
    }
    if (!warning.empty()) Say(tool_.err, Severity::warning, L"", warning + " (ledger extend adds a range)");
  }

  // With --json, one object for every outcome: the unit, or what is known
  // of the file, with the call's result and its error.
  void Report() {
    if (!options_.json) return;
    Json result{{"result", Name(call_.result)}};
    if (!call_.error.empty()) result["error"] = call_.error;
    if (!label_.empty()) result["label"] = label_;
    if (!labelError_.empty()) result["label_error"] = labelError_;
    if (unit_) return Print(tool_.out, UnitJsonLine(*unit_, result));
    Json json{{"mac", nullptr},
              {"sn", nullptr},
              {"path", request_.path},
              {"station", request_.station},
              {"host", request_.host},
              {"time", request_.time},
              {"state", nullptr},
              {"mac_before", OrNull(call_.macBefore)},
              {"sn_before", OrNull(call_.snBefore)}};
    json.update(result);
    Print(tool_.out, JsonLine(json));
  }

  const ToolContext& tool_;
  const AssignOptions& options_;
  CallRecord call_;
  ledger::Request request_;
  std::optional<ledger::Unit> unit_;
  std::optional<ledger::Journal> journal_;
  std::optional<ledger::LeaseFile> lease_;
  std::optional<ledger::Unit> recordedEarlier_;  // an earlier run's unit whose record's answer was lost
  std::string journalKey_;
  std::optional<LabelPlan> labelPlan_;
  std::string label_;  // the label's file, or its printer's job
  std::string labelError_;
};

Outcome RunAssign(const ToolContext& tool, const AssignOptions& options) {
  return Assignment(tool, options).Run();
}

void DeclareAssign(CLI::App& assign, Work& work) {
  auto options = std::make_shared<AssignOptions>();
  assign.add_option("FILE", options->path, "The vendor file")->required();
  AddLedgerArgument(assign, options->ledger, false);
  assign.add_option("--station", options->station, "This station's name in the ledger (the host name)")
      ->type_name("NAME");
  assign.add_flag("--reassign", options->reassign,
                  "Give new values to a file whose values a unit has; that unit is then replaced");
  assign.add_flag("--backup", options->backup, "First copy the file to FILE.bak (or .bak.1, .bak.2, ...)");
  assign.add_option("--log", options->log, "Append one JSON line about this call")->type_name("LOGFILE");
  assign.add_flag("--json", options->json, "Print the unit, or why there is none, as one JSON object");
  const auto asked = [options](const std::string&) { options->labelAsked = true; };
  assign
      .add_option("--label", options->label.output,
                  "Once the unit is written, make its label here (exit 4 when that fails, the unit written)")
      ->type_name("OUT");
  assign
      .add_option("--label-print", options->label.printer,
                  "Once the unit is written, print its label, as label --print does (exit 4 when that fails)")
      ->type_name("PRINTER")
      ->excludes("--label");
  assign
      .add_option("--label-format", options->labelChoice.format,
                  "zpl, png or svg, where OUT's extension names none")
      ->check(CLI::IsMember({"zpl", "png", "svg"}))
      ->each(asked);
  assign.add_option("--dpi", options->labelChoice.dpi, "The label printer's dots per inch")
      ->check(CLI::Range(100, 1200))
      ->capture_default_str()
      ->each(asked);
  assign.add_option("--size", options->labelChoice.size, "The label's WIDTHxHEIGHT in millimetres (50x25)")
      ->each(asked);
  assign
      .add_option(
          "--label-template", options->labelChoice.design,
          "A site's own label, .zpl or .svg, as label --template takes it: {time} and {station} are the "
          "unit's")
      ->type_name("FILE")
      ->each(asked);
  AddLeaseSizeOption(assign, options->lease);
  AddLeaseFileOption(assign, options->lease);
  RunsWith(assign, work, options, RunAssign);
}

}  // namespace

const Command kAssign{"assign", "Write the next MAC and SN from a ledger into one file, and record it",
                      DeclareAssign};
