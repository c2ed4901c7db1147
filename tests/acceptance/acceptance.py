#!/usr/bin/env python3
"""Acceptance run of the real executable, driven through its windows as a person would.

    acceptance.py --client build/app/tessarvale --artefacts DIR [--full] [--wm openbox] [unittest args...]

Without --full only the short path runs (what CI runs on every change); scenarios marked `full`
run with it (or with TESSARVALE_ACCEPTANCE_FULL=1). With --wm the display gets a window manager
(Debian's openbox), which places, decorates and focuses the windows; without it nobody does.
"""
import argparse
import os
import sys
import shutil
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import session  # noqa: E402


def parse():
    parser = argparse.ArgumentParser()
    parser.add_argument("--client", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--full", action="store_true")
    parser.add_argument("--wm", choices=["none", "openbox"], default="none")
    parser.add_argument("rest", nargs="*")
    return parser.parse_args()


def run_tests(args):
    import harness
    import scenarios

    os.makedirs(args.artefacts, exist_ok=True)
    if args.full:
        os.environ["TESSARVALE_ACCEPTANCE_FULL"] = "1"
    window_manager = session.start_window_manager(args.wm, args.artefacts)
    keyring = session.start_keyring()
    workdir = os.path.join(args.artefacts, "service")
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    service = harness.DevService(workdir)
    try:
        session.trust_ca(service.ca, workdir)
        harness.AcceptanceCase.executable = os.path.abspath(args.client)
        harness.AcceptanceCase.service = service
        harness.AcceptanceCase.artefacts = os.path.abspath(args.artefacts)
        harness.AcceptanceCase.app_title = scenarios.APP_TITLE
        loader = unittest.TestLoader()
        suite = loader.loadTestsFromNames(args.rest, scenarios) if args.rest else \
            loader.loadTestsFromModule(scenarios)
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
        ok = result.wasSuccessful()
        # The whole run's log, checked once more for secrets that must never be written.
        leaks = scenarios.secrets_in_logs(harness.AcceptanceCase.all_logs, harness.AcceptanceCase.session_cookies)
        print(f"acceptance: {len(harness.AcceptanceCase.all_logs)} client logs checked for "
              f"{len(scenarios.SECRETS)} passwords and {len(harness.AcceptanceCase.session_cookies)} session cookies")
        if leaks:
            print("acceptance: secrets found in the client log: " + ", ".join(leaks))
            ok = False
        return 0 if ok else 1
    finally:
        service.stop()
        keyring.terminate()
        keyring.wait()
        shutil.rmtree(keyring.keyring_root, ignore_errors=True)
        if window_manager:
            window_manager.terminate()
            window_manager.wait()


def main():
    stage = os.environ.get("TESSARVALE_ACCEPTANCE_STAGE")
    argv = [os.path.abspath(__file__)] + sys.argv[1:]
    if stage is None:
        return session.enter_namespace(argv)
    if stage == "namespace":
        return session.start_display_and_bus(argv)
    return run_tests(parse())


if __name__ == "__main__":
    sys.exit(main())
