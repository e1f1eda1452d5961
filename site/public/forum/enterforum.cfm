<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>ZEL Stratlyn - Student forum</title>
<link rel="stylesheet" href="../../style.css">
</head>
<body>
<header>
  <div class="brand">ZEL Stratlyn</div>
  <nav><a href="../../index.htm">Home</a><a href="../zelmodhtm/howtouse.htm">How to use</a><a href="../../links.htm">Data sources</a></nav>
</header>
<h1>Student forum</h1>
<p>The discussion forum of your course is run by your instructor's site. This copy of the
site ships with the program and works without a network connection, so it has no forum
of its own.</p>
<p>If your instructor has set up a forum, the program can open it directly: start the
program with the address of your course site in the environment variable
<code>STRATLYN_SITE_URL</code> (for example
<code>STRATLYN_SITE_URL=https://course.example.edu/stratlyn stratlyn</code>); File &gt;
Student Forum then opens that site's forum.</p>
<p>Instructors: see <a href="forumsetup.htm">setting up a forum</a>.</p>
<footer><a href="../../index.htm">Back to the home page</a></footer>
</body>
</html>
