"""Inventory tracking for a small workshop: parts, stock levels and reorders."""

import csv
import json
from dataclasses import dataclass, field
from pathlib import Path

LOW_STOCK_THRESHOLD = 5


@dataclass
class Part:
    """A part kept in stock."""

    sku: str
    name: str
    quantity: int = 0
    unit_price: float = 0.0
    tags: list[str] = field(default_factory=list)

    def value(self) -> float:
        return self.quantity * self.unit_price

    def is_low(self, threshold: int = LOW_STOCK_THRESHOLD) -> bool:
        return self.quantity < threshold


class Inventory:
    """All parts, by SKU, with loading, saving and reordering."""

    def __init__(self, parts=None):
        self.parts = {p.sku: p for p in parts or []}

    def add(self, part: Part) -> None:
        if part.sku in self.parts:
            self.parts[part.sku].quantity += part.quantity
        else:
            self.parts[part.sku] = part

    def remove(self, sku: str, quantity: int) -> bool:
        part = self.parts.get(sku)
        if part is None or part.quantity < quantity:
            return False
        part.quantity -= quantity
        return True

    def total_value(self) -> float:
        return sum(p.value() for p in self.parts.values())

    def reorder_list(self, threshold: int = LOW_STOCK_THRESHOLD) -> list[Part]:
        # TODO: take supplier lead times into account
        low = [p for p in self.parts.values() if p.is_low(threshold)]
        return sorted(low, key=lambda p: (p.quantity, p.sku))

    def save(self, path: Path) -> None:
        rows = [vars(p) for p in self.parts.values()]
        path.write_text(json.dumps(rows, indent=2))

    @classmethod
    def load(cls, path: Path) -> "Inventory":
        if path.suffix == ".csv":
            return cls(load_csv(path))
        return cls(Part(**row) for row in json.loads(path.read_text()))


def load_csv(path: Path) -> list[Part]:
    parts = []
    with path.open(newline="") as handle:
        for row in csv.DictReader(handle):
            try:
                quantity = int(row["quantity"])
            except (KeyError, ValueError):
                quantity = 0  # FIXME: report malformed rows instead of zeroing them
            parts.append(Part(row["sku"], row["name"], quantity, float(row.get("unit_price") or 0)))
    return parts


def main() -> None:
    inventory = Inventory([Part("BLT-M4", "M4 bolt", 120, 0.05), Part("BRG-608", "608 bearing", 3, 1.2)])
    for part in inventory.reorder_list():
        print(f"reorder {part.sku}: {part.name} ({part.quantity} left)")
    print(f"stock value: {inventory.total_value():.2f}")


if __name__ == "__main__":
    main()
