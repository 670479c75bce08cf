"""The agent worker pool in plain asyncio, timed the way bench/crewhall_bench.cpp times Crewhall.

Usage: crewhall_asyncio.py [--tasks N] [--max-workers M] [--repeat R] [--json FILE]

The pool is written the way a Python implementation of Crewhall would be:
records as dataclasses, an asyncio.Semaphore of max_workers slots, one
asyncio task per worker, an asynchronous status callback awaited at
submission, start and end, history capped at 200 -> 100, and the logger
"norvex.crewhall" (left unconfigured, so its info lines cost a level check).
The executor does nothing and returns "ok".

One round: N tasks are made (untimed), then the clock runs from the first
submit until every worker has ended. Overhead per task is that time over N;
the best and median of R rounds are printed as JSON, in wall-clock time and
in CPU time of the process (on a busy machine the wall clock also counts
other processes' turns on the CPU).
"""
import argparse
import asyncio
import gc
import json
import logging
import statistics
import time
import uuid
from dataclasses import dataclass, field
from enum import Enum
from typing import Any, Optional

logger = logging.getLogger("norvex.crewhall")


class WorkerState(str, Enum):
    QUEUED = "queued"
    RUNNING = "running"
    COMPLETED = "completed"
    FAILED = "failed"
    CANCELLED = "cancelled"
    TIMEOUT = "timeout"


TERMINAL = (WorkerState.COMPLETED, WorkerState.FAILED, WorkerState.CANCELLED, WorkerState.TIMEOUT)


@dataclass
class WorkerTask:
    id: str = field(default_factory=lambda: uuid.uuid4().hex[:12])
    name: str = ""
    prompt: str = ""
    model_key: Optional[str] = None
    complexity: Optional[str] = None
    timeout: float = 600.0
    tools: Optional[list] = None
    parent_task_id: Optional[str] = None
    metadata: dict = field(default_factory=dict)
    created_at: float = field(default_factory=time.time)


@dataclass
class WorkerStatus:
    task_id: str
    state: WorkerState
    name: str = ""
    model_used: str = ""
    current_step: str = ""
    steps_completed: int = 0
    progress_pct: float = 0.0
    result: Optional[str] = None
    error: Optional[str] = None
    started_at: float = 0.0
    completed_at: float = 0.0
    duration: float = 0.0


class Crewhall:
    def __init__(self, max_workers=3, executor=None, on_status_change=None):
        self._max_workers = max_workers
        self._executor = executor
        self._on_status_change = on_status_change
        self._active: dict[str, WorkerStatus] = {}
        self._completed: list[WorkerStatus] = []
        self._tasks: dict[str, asyncio.Task] = {}
        self._all_tasks: dict[str, WorkerTask] = {}
        self._total_submitted = 0
        self._total_completed = 0
        self._total_failed = 0
        self._semaphore = asyncio.Semaphore(max_workers)

    async def submit(self, task: WorkerTask) -> WorkerStatus:
        if not self._executor:
            raise RuntimeError("No executor set \u2014 call set_executor() first")
        self._total_submitted += 1
        self._all_tasks[task.id] = task
        status = WorkerStatus(task_id=task.id, state=WorkerState.QUEUED, name=task.name or f"Worker-{task.id[:6]}")
        self._active[task.id] = status
        if self._on_status_change:
            await self._on_status_change(status)
        self._tasks[task.id] = asyncio.create_task(self._run_worker(task), name=f"worker-{task.id}")
        logger.info(f"Worker submitted: {task.name} ({task.id})")
        return status

    async def _run_worker(self, task: WorkerTask) -> None:
        status = self._active.get(task.id)
        if not status:
            return
        async with self._semaphore:
            status.state = WorkerState.RUNNING
            status.started_at = time.time()
            deadline = time.time() + task.timeout
            if self._on_status_change:
                await self._on_status_change(status)
            try:
                result = await self._executor(task, self._update_status, deadline=deadline)
                status.state = WorkerState.COMPLETED
                status.result = result
                self._total_completed += 1
            except asyncio.CancelledError:
                status.state = WorkerState.CANCELLED
                status.error = "Cancelled by user"
                self._total_failed += 1
                logger.info(f"Worker {task.id} was cancelled by user")
            except Exception as e:  # noqa: BLE001
                status.state = WorkerState.FAILED
                status.error = str(e)
                self._total_failed += 1
                logger.error(f"Worker {task.id} failed: {e}", exc_info=True)
            finally:
                status.completed_at = time.time()
                status.duration = status.completed_at - status.started_at
                if status.state in TERMINAL:
                    status.progress_pct = 100.0
                    status.current_step = {
                        WorkerState.COMPLETED: "Done",
                        WorkerState.FAILED: f"Failed: {status.error or 'Unknown error'}",
                        WorkerState.TIMEOUT: "Timed out",
                        WorkerState.CANCELLED: "Cancelled",
                    }.get(status.state, status.current_step)
                if self._on_status_change:
                    try:
                        await self._on_status_change(status)
                    except Exception as e:  # noqa: BLE001
                        logger.error(f"Failed to broadcast final status for {task.id}: {e}")
                self._move_to_completed(task.id)

    async def _update_status(self, status: WorkerStatus) -> None:
        if status.task_id in self._active:
            self._active[status.task_id] = status
        if self._on_status_change:
            await self._on_status_change(status)

    def _move_to_completed(self, task_id: str) -> None:
        if task_id in self._active:
            status = self._active.pop(task_id)
            self._completed.append(status)
            if len(self._completed) > 200:
                self._completed = self._completed[-100:]
        self._tasks.pop(task_id, None)


async def one_round(tasks: int, max_workers: int) -> tuple[float, int, int]:
    notified = 0

    async def on_status_change(status):
        nonlocal notified
        notified += 1

    async def executor(task, update_status, deadline):
        return "ok"

    pool = Crewhall(max_workers=max_workers, executor=executor, on_status_change=on_status_change)
    batch = [WorkerTask(name=f"t{i}") for i in range(tasks)]
    cpu_start = time.process_time()
    start = time.perf_counter()
    for task in batch:
        await pool.submit(task)
    await asyncio.gather(*list(pool._tasks.values()))
    elapsed = time.perf_counter() - start
    cpu = time.process_time() - cpu_start
    return elapsed, cpu, pool._total_completed, notified


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tasks", type=int, default=10_000)
    ap.add_argument("--max-workers", type=int, default=3)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--json")
    args = ap.parse_args()

    rounds, cpu_rounds = [], []
    for _ in range(args.repeat):
        gc.collect()
        elapsed, cpu, completed, notified = asyncio.run(one_round(args.tasks, args.max_workers))
        if completed != args.tasks or notified != 3 * args.tasks:
            raise SystemExit(f"round went wrong: {completed} completed, {notified} notifications")
        rounds.append(elapsed)
        cpu_rounds.append(cpu)
    out = {
        "tasks": args.tasks,
        "max_workers": args.max_workers,
        "best_us_per_task": min(rounds) / args.tasks * 1e6,
        "median_us_per_task": statistics.median(rounds) / args.tasks * 1e6,
        "best_cpu_us_per_task": min(cpu_rounds) / args.tasks * 1e6,
        "median_cpu_us_per_task": statistics.median(cpu_rounds) / args.tasks * 1e6,
        "rounds_seconds": rounds,
    }
    text = json.dumps(out)
    if args.json:
        with open(args.json, "w") as f:
            f.write(text)
    print(text)


if __name__ == "__main__":
    main()
