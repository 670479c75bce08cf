"""A small double-entry ledger: accounts, journal entries, balances and reports.

Kept at exactly 200 lines: the end-to-end worker benchmark summarises it.
"""

import csv
import datetime as dt
import json
import logging
from collections import defaultdict
from dataclasses import dataclass, field
from decimal import Decimal, ROUND_HALF_EVEN
from pathlib import Path
from typing import Iterable, Iterator, Optional

log = logging.getLogger(__name__)
CURRENCY = "EUR"
CENT = Decimal("0.01")
ACCOUNT_KINDS = ("asset", "liability", "equity", "income", "expense")
DEBIT_NORMAL = {"asset", "expense"}


class LedgerError(Exception):
    """Raised when an entry or an account breaks the ledger's rules."""


@dataclass(frozen=True)
class Account:
    """One account of the chart of accounts."""

    code: str
    name: str
    kind: str = "asset"
    parent: Optional[str] = None

    def is_debit_normal(self) -> bool:
        return self.kind in DEBIT_NORMAL

    def label(self) -> str:
        return f"{self.code} {self.name}"


@dataclass
class Line:
    """One side of a journal entry: an amount on one account."""

    account: str
    debit: Decimal = Decimal(0)
    credit: Decimal = Decimal(0)
    memo: str = ""

    def amount(self) -> Decimal:
        return self.debit - self.credit


@dataclass
class Entry:
    """A balanced journal entry of two or more lines."""

    date: dt.date
    description: str
    lines: list[Line] = field(default_factory=list)
    reference: Optional[str] = None

    def total_debit(self) -> Decimal:
        return sum((l.debit for l in self.lines), Decimal(0))

    def total_credit(self) -> Decimal:
        return sum((l.credit for l in self.lines), Decimal(0))

    def is_balanced(self) -> bool:
        return self.total_debit() == self.total_credit() and len(self.lines) >= 2


class Ledger:
    """Accounts and the entries posted to them."""

    max_lines = 50

    def __init__(self, accounts: Iterable[Account] = ()):
        self.accounts = {a.code: a for a in accounts}
        self.entries: list[Entry] = []
        self._balances = defaultdict(Decimal)

    def open_account(self, account: Account) -> None:
        if account.code in self.accounts:
            raise LedgerError(f"account {account.code} exists already")
        if account.kind not in ACCOUNT_KINDS:
            raise LedgerError(f"unknown account kind {account.kind!r}")
        if account.parent and account.parent not in self.accounts:
            raise LedgerError(f"parent {account.parent} of {account.code} is not open")
        self.accounts[account.code] = account

    def post(self, entry: Entry) -> None:
        # TODO: allow entries in other currencies once rates are kept
        if not entry.is_balanced():
            raise LedgerError(f"entry {entry.description!r} does not balance")
        if len(entry.lines) > self.max_lines:
            raise LedgerError("too many lines in one entry")
        for line in entry.lines:
            if line.account not in self.accounts:
                raise LedgerError(f"no account {line.account}")
            if line.debit < 0 or line.credit < 0 or (line.debit and line.credit):
                raise LedgerError("a line is either a debit or a credit, never negative")
        for line in entry.lines:
            self._balances[line.account] += line.amount()
        self.entries.append(entry)
        log.debug("posted %s", entry.description)

    def balance(self, code: str, until: Optional[dt.date] = None) -> Decimal:
        if until is None:
            raw = self._balances[code]
        else:
            raw = sum((l.amount() for e in self.entries if e.date <= until
                       for l in e.lines if l.account == code), Decimal(0))
        account = self.accounts[code]
        value = raw if account.is_debit_normal() else -raw
        return value.quantize(CENT, rounding=ROUND_HALF_EVEN)

    def trial_balance(self) -> dict[str, Decimal]:
        return {code: self.balance(code) for code in sorted(self.accounts)}

    def entries_for(self, code: str) -> Iterator[Entry]:
        for entry in self.entries:
            if any(l.account == code for l in entry.lines):
                yield entry

    def children(self, code: str) -> list[Account]:
        return [a for a in self.accounts.values() if a.parent == code]

    def rollup(self, code: str) -> Decimal:
        # NOTE: recursion depth is the depth of the chart, a handful at most
        total = self.balance(code)
        for child in self.children(code):
            total += self.rollup(child.code)
        return total


def income_statement(ledger: Ledger, start: dt.date, end: dt.date) -> dict[str, Decimal]:
    """Income and expenses between two dates, and the result."""
    income = Decimal(0)
    expense = Decimal(0)
    for entry in ledger.entries:
        if not start <= entry.date <= end:
            continue
        for line in entry.lines:
            kind = ledger.accounts[line.account].kind
            if kind == "income":
                income -= line.amount()
            elif kind == "expense":
                expense += line.amount()
    return {"income": income, "expense": expense, "result": income - expense}


def load_accounts(path: Path) -> list[Account]:
    with path.open(newline="", encoding="utf-8") as f:
        return [Account(row["code"], row["name"], row.get("kind") or "asset", row.get("parent") or None)
                for row in csv.DictReader(f)]


def load_entries(path: Path) -> Iterator[Entry]:
    """Entries from a JSON-lines file, one entry per line."""
    with path.open(encoding="utf-8") as f:
        for number, text in enumerate(f, 1):
            if not text.strip() or text.lstrip().startswith("#"):
                continue
            try:
                data = json.loads(text)
            except json.JSONDecodeError as e:
                raise LedgerError(f"line {number}: {e}") from None
            lines = [Line(l["account"], Decimal(l.get("debit", "0")), Decimal(l.get("credit", "0")),
                          l.get("memo", "")) for l in data["lines"]]
            yield Entry(dt.date.fromisoformat(data["date"]), data["description"], lines, data.get("ref"))


def export_trial_balance(ledger: Ledger, path: Path) -> int:
    # FIXME: write through a temporary file so a crash leaves the old export
    rows = 0
    with path.open("w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f)
        writer.writerow(["code", "name", "balance", CURRENCY])
        for code, value in ledger.trial_balance().items():
            writer.writerow([code, ledger.accounts[code].name, str(value), ""])
            rows += 1
    return rows


def main(argv: Optional[list[str]] = None) -> int:
    import argparse
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("accounts", type=Path)
    parser.add_argument("entries", type=Path)
    parser.add_argument("--export", type=Path)
    args = parser.parse_args(argv)
    ledger = Ledger(load_accounts(args.accounts))
    for entry in load_entries(args.entries):
        ledger.post(entry)
    if args.export:
        print(export_trial_balance(ledger, args.export), "rows written")
    return 0
