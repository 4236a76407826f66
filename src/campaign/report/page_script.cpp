#include "campaign/report/page_script.h"

namespace qavrel::campaign {

const std::string& page_script() {
  static const std::string script =
      R"js(// The report's search box, its list filters and its sortable tables.
// Pages work without it: it only adds to what they show. Everything runs
// from file:// with no server: the list of chips comes in as a script,
// index/chips.js, which sets qavrelChips to rows of
// [chip, page, grade, largest |mean ratio|, worst configuration, channel, day].
(function () {
  "use strict";
  var script = document.currentScript;
  var root = script.getAttribute("src").replace(/index\/report\.js$/, "");
  var grades = ["A", "B", "C", "no data", "fail", "not analysed"];
  var shownAtMost = 20;

  // Loads index/chips.js once, then calls then(chips).
  var waiting = null;
  function withChips(then) {
    if (window.qavrelChips) return then(window.qavrelChips);
    if (waiting) return waiting.push(then);
    waiting = [then];
    var tag = document.createElement("script");
    tag.src = root + "index/chips.js";
    tag.onload = function () {
      waiting.forEach(function (call) { call(window.qavrelChips); });
    };
    tag.onerror = function () {
      document.querySelectorAll(".found, .filtered").forEach(function (place) {
        place.textContent = "The list of chips, index/chips.js, could not be loaded.";
      });
    };
    document.head.appendChild(tag);
  }

  function element(tag, text, attributes) {
    var made = document.createElement(tag);
    if (text !== undefined) made.textContent = text;
    for (var key in attributes || {}) made.setAttribute(key, attributes[key]);
    return made;
  }

  function chipLink(chip) {
    return element("a", chip[0], { href: root + "chips/" + chip[1], class: "name", title: chip[0] });
  }

  function badge(grade) {
    return element("span", grade, { class: "grade grade-" + grade.replace(/ /g, "-") });
  }

  // Chips whose names hold the text, ignoring case: the exact name first,
  // then names that start with it, then the rest, each by name.
  function matches(chips, text) {
    var exact = text.trim();
    var wanted = exact.toLowerCase();
    if (!wanted) return [];
    var found = [];
    // The name as typed first, then in any case, then those it starts and
    // those it is within.
    chips.forEach(function (chip) {
      var name = chip[0].toLowerCase();
      var at = name.indexOf(wanted);
      if (at >= 0)
        found.push([chip[0] === exact ? 0 : name === wanted ? 1 : at === 0 ? 2 : 3, chip]);
    });
    found.sort(function (a, b) { return a[0] - b[0] || (a[1][0] < b[1][0] ? -1 : 1); });
    return found.map(function (pair) { return pair[1]; });
  }

  function setUpSearch(form) {
    var input = form.querySelector("input");
    var shown = form.querySelector(".found");
    form.hidden = false;
    function show() {
      withChips(function (chips) {
        var found = matches(chips, input.value);
        shown.textContent = "";
        if (!input.value.trim()) return;
        if (found.length === 0) {
          shown.appendChild(element("p", "No chip matches \u201c" + input.value.trim() + "\u201d."));
          return;
        }
        var list = element("ul");
        found.slice(0, shownAtMost).forEach(function (chip) {
          var item = element("li");
          item.appendChild(chipLink(chip));
          item.appendChild(document.createTextNode(" "));
          item.appendChild(badge(chip[2]));
          list.appendChild(item);
        });
        shown.appendChild(list);
        if (found.length > shownAtMost)
          shown.appendChild(element("p", "and " + (found.length - shownAtMost) + " more"));
      });
    }
    input.addEventListener("focus", function () { withChips(function () {}); });
    input.addEventListener("input", show);
    // Enter opens the best match.
    form.addEventListener("submit", function (event) {
      event.preventDefault();
      withChips(function (chips) {
        var found = matches(chips, input.value);
        if (found.length > 0) window.location.href = root + "chips/" + found[0][1];
        else show();
      });
    });
  }

  // A list page's filters: every chip of the list (not one page of it)
  // of the chosen grade, worst configuration and day.
  function setUpFilters(form) {
    var shown = document.querySelector(".filtered");
    var pages = document.querySelectorAll(".list-page");
    var onlyNotA = form.getAttribute("data-list") === "not-a";
    var selects = {
      grade: form.querySelector("select[name=grade]"),
      config: form.querySelector("select[name=config]"),
      day: form.querySelector("select[name=day]"),
    };
    withChips(function (allChips) {
      var chips = allChips.filter(function (chip) { return !onlyNotA || chip[2] !== "A"; });
      function fill(select, values) {
        values.forEach(function (value) { select.appendChild(element("option", value, { value: value })); });
      }
      function distinct(field) {
        var seen = {};
        chips.forEach(function (chip) { seen[chip[field]] = true; });
        return Object.keys(seen).sort();
      }
      fill(selects.grade, grades.filter(function (grade) { return distinct(2).indexOf(grade) >= 0; }));
      fill(selects.config, distinct(4));
      fill(selects.day, distinct(6));
      form.hidden = false;
      function apply() {
        var grade = selects.grade.value, config = selects.config.value, day = selects.day.value;
        var any = grade || config || day;
        pages.forEach(function (part) { part.hidden = !!any; });
        shown.textContent = "";
        if (!any) return;
        var kept = chips.filter(function (chip) {
          return (!grade || chip[2] === grade) && (!config || chip[4] === config) && (!day || chip[6] === day);
        });
        if (kept.length === 0) {
          shown.appendChild(element("p", "No chip matches these filters."));
          return;
        }
        shown.appendChild(element("p", kept.length + (kept.length === 1 ? " chip matches." : " chips match.")));
        var table = element("table", undefined, { class: "sortable" });
        var head = element("tr");
        ["chip", "grade", "largest |mean ratio|", "where", "day"].forEach(function (title) {
          head.appendChild(element("th", title));
        });
        table.appendChild(element("thead")).appendChild(head);
        var body = table.appendChild(element("tbody"));
        kept.forEach(function (chip) {
          var row = element("tr");
          row.appendChild(element("td")).appendChild(chipLink(chip));
          row.appendChild(element("td", undefined, { "data-sort": grades.indexOf(chip[2]) })).appendChild(badge(chip[2]));
          row.appendChild(element("td", chip[3], { class: "number" }));
          var where = row.appendChild(element("td"));
          where.appendChild(element("span", chip[4], { class: "name", title: chip[4] }));
          if (chip[5] !== null) where.appendChild(document.createTextNode(", ch\u00a0" + chip[5]));
          row.appendChild(element("td", chip[6]));
          body.appendChild(row);
        });
        shown.appendChild(table);
        makeSortable(table);
      }
      Object.keys(selects).forEach(function (key) { selects[key].addEventListener("change", apply); });
      apply();
    });
  }

  // What a cell sorts by: its data-sort, else its text, as a number where
  // it reads as one (a percentage, a count).
  function sortKey(cell) {
    var text = cell.hasAttribute("data-sort") ? cell.getAttribute("data-sort") : cell.textContent.trim();
    var number = parseFloat(text);
    return { empty: text === "", number: isNaN(number) ? null : number, text: text };
  }

  function compare(a, b) {
    if (a.number !== null && b.number !== null && a.number !== b.number) return a.number - b.number;
    return a.text < b.text ? -1 : a.text > b.text ? 1 : 0;
  }

  // Clicking a header sorts the rows by its column; again, the other way.
  function makeSortable(table) {
    var body = table.tBodies[0];
    table.querySelectorAll("thead th").forEach(function (header, column) {
      header.title = "sort by " + header.textContent;
      header.addEventListener("click", function () {
        var ascending = header.getAttribute("aria-sort") !== "ascending";
        table.querySelectorAll("thead th").forEach(function (other) { other.removeAttribute("aria-sort"); });
        header.setAttribute("aria-sort", ascending ? "ascending" : "descending");
        var rows = Array.prototype.slice.call(body.rows);
        var keyed = rows.map(function (row, at) { return [sortKey(row.cells[column]), at, row]; });
        keyed.sort(function (a, b) {
          // Empty cells last, whichever the direction.
          if (a[0].empty !== b[0].empty) return a[0].empty ? 1 : -1;
          return (ascending ? compare(a[0], b[0]) : compare(b[0], a[0])) || a[1] - b[1];
        });
        keyed.forEach(function (entry) { body.appendChild(entry[2]); });
      });
    });
  }

  document.querySelectorAll("form.search").forEach(setUpSearch);
  document.querySelectorAll("form.filters").forEach(setUpFilters);
  document.querySelectorAll("table.sortable").forEach(makeSortable);
})();
)js";
  return script;
}

}  // namespace qavrel::campaign
